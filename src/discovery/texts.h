#pragma once
// The scan's texts (see core/texts.h for where texts live).

#include "core/texts.h"
#include "discovery/scanconfig.h"
#include "discovery/sweeprange.h"

#include <QStringView>

namespace zeph::texts {

// The status line while a scan runs, and how it ends.
inline constexpr QStringView kScanStatus = u"正在刷新计算机列表，请稍候。";
inline constexpr QStringView kScanCancelled = u"已取消刷新计算机列表。";
inline constexpr QStringView kScanCompleted = u"计算机列表刷新完毕。";
inline constexpr QStringView kScanNoAddress = u"找不到本机的网络地址，无法刷新计算机列表！";
// The probe helper could not take its turn with the other scans on the
// machine, so it sent at its slower floor.
inline constexpr QStringView kScanSlowed = u"探测程序无法与其他扫描轮流发送，本次刷新已放慢。";
// The subnets the user names in zeph.conf, and the file itself: each followed
// by the file or the entry.
inline constexpr QStringView kScanConfigUnreadable = u"无法读取配置文件：";
inline constexpr auto kScanConfigTooLargeText =
    withNumber(u"配置文件大于 ", unsigned(kMaxScanConfigBytes / 1024), u" KiB，不读取：");
inline constexpr QStringView kScanConfigTooLarge = kScanConfigTooLargeText;
inline constexpr auto kScanConfigTooManyText =
    withNumber(u"配置文件中的网段多于 ", unsigned(kMaxNamedSubnets), u" 个，不读取：");
inline constexpr QStringView kScanConfigTooManySubnets = kScanConfigTooManyText;
inline constexpr QStringView kScanSubnetBad = u"配置文件中的网段无法识别，不扫描：";
inline constexpr auto kScanSubnetTooWideText =
    withNumber(u"配置文件中的网段大于 /", unsigned(kWidestSweptPrefix), u"，不扫描：");
inline constexpr QStringView kScanSubnetTooWide = kScanSubnetTooWideText;

} // namespace zeph::texts
