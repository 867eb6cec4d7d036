#include "resources/qorvena_resources.h"

// The icon pictures are drawn by the task dialog work; until then the module has none.
void AddQorvenaIcons(ResourceModule&) {}
