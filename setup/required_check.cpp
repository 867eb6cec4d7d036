#include "setup/required_check.h"

#include "setup/PropertyPageSetupMapping.h"

// The prompt for unmapped required columns needs the task dialog; until it exists the page may always be
// left. The prompt will use page.FindFirstUnsatisfiedRow() and, to send the administrator back to it,
// page.ShowRow().
bool CheckRequiredFields(CPropertyPageSetupMapping&) { return true; }
