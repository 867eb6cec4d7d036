// The module's own resources for the duration of a scope, so that strings, dialogs and icons come from this
// module and not from the host that called it.
#pragma once

#include "platform/ui/resources.h"
#include "resources/qorvena_resources.h"

#define QORVENA_MANAGE_STATE() AfxModuleStateGuard qorvenaModuleState_(QorvenaResources())
