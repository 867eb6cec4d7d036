// The check that runs whenever the Data Mapping page is about to be left.
#pragma once

class CPropertyPageSetupMapping;

// True lets the page be left; false keeps it current (and the sheet open when OK was pressed).
bool CheckRequiredFields(CPropertyPageSetupMapping& page);
