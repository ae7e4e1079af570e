#pragma once
// The product's own name, credit and addresses, in one place. Unicode here;
// the core turns them into GBK with zeph::G().

#include <QStringView>

namespace zeph::product {

inline constexpr QStringView kTitle = u"局域网即时通信(ZEPH)v0.1";
inline constexpr QStringView kAuthor = u"Zeph";
inline constexpr QStringView kDate = u"2003.11.18";
inline constexpr QStringView kWebAddress = u"https://zeph.example.org";
// The page the banner picture opens: host + fixed path and query.
inline constexpr QStringView kAdvertisedHost = u"https://zeph.example.org";
inline constexpr QStringView kAdvertisedPath = u"/voip/?t=1&id=30933";
inline constexpr QStringView kDevelopmentTool = u"本程序使用C++与Qt编写。";

// Application id: executable, desktop entry, icon and single-instance marker.
inline constexpr QStringView kAppId = u"zeph";

} // namespace zeph::product
