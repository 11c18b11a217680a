#pragma once
// The view's content rules (WebKit's content blocker, applied in the web process before a request
// is made): every top-level document but the desk page is refused, so a link, a form or a
// redirect to another site never reaches that site from the shell. Frames inside the page, their
// navigations and every other resource load as usual; the shell's own notice ("about:") too.
#include <string>

#include "common/text.h"

// The rule list (JSON) for this desk page address.
std::string deskContentRules(const WString& pageUrl);

// The load error WebKit reports, in its policy error domain, for a load the rules refused.
inline constexpr int kBlockedByContentRules = 104;
