#pragma once
// User-visible texts that layers which cannot see each other both show.
// Where texts live: a control's caption, hint and accessible name in the
// window definition (ui/windowdef.cpp); what the wire carries in
// messaging/wiretexts.h; every other text in the texts.h of the lowest layer
// that shows it. Unicode here; zeph::G() turns a text into GBK where it is used.

#include <QStringView>

namespace zeph::texts {

// The scan's notice, also the hint suffix (ui) and the clear-history line
// (history) while it runs.
inline constexpr QStringView kScanRunning = u"正在刷新计算机列表，请稍候……";

} // namespace zeph::texts
