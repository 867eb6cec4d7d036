// Running a document class's setup: the setup script named by the class's connector, created through the
// registry, shown modally over the class's setup data; what OK applies is stored with the class.
#pragma once

#include <functional>
#include <string>

#include "capture/model.h"

namespace capture {

inline constexpr char16_t kDefaultSetupProgId[] = u"qorvena.DodoSetupScript";

enum class SetupOutcome { Applied, NothingChanged, NoDisplay, ScriptUnavailable, Failed };

// `store` is called with the edited class when the setup applies it; false when it could not be kept.
// `message` says what happened, for people.
SetupOutcome RunClassSetup(const DocumentClass& documentClass, const std::u16string& setupProgId,
                           const std::function<bool(const DocumentClass&, std::string*)>& store,
                           std::string* message);

}  // namespace capture
