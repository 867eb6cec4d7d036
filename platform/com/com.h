// Everything of the COM stand-in in one include.
#pragma once

#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/comtypes.h"
#include "platform/com/errortext.h"
#include "platform/com/format.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"
#include "platform/com/utf.h"
#include "platform/com/variant.h"
