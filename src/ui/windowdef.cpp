#include "ui/windowdef.h"

#include "core/product.h"
#include "ui/texts.h"

#include <array>

namespace zeph::ui {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kNavy(0, 0, 128);

// Topmost first. Columns: name, kind, geometry, text, tooltip, flags, hint,
// what a screen reader is told (Access), text colour, background, font size.
// clang-format off
const std::array kMainControls = {
    ControlDef{name::kBanner,              Kind::PictureBox,   {518,  46, 115,  64}, resource::kBanner,     {}, NoDrag, {},
               {u"Zeph横幅图片", u"按下鼠标左键打开推荐网页", QAccessible::Graphic}},
    ControlDef{name::kMinimiseButton,      Kind::Button,       {614,   2,  16,  16}, u"*",                {}, Centred, {},
               {u"最小化到托盘", u"把主窗口隐藏到系统托盘"}},
    ControlDef{name::kMessengerButton,     Kind::StyledButton, {524, 380, 104,  20}, u"使用信使服务发送", u"通过信使服务发送信息，对方不必运行本程序"},
    ControlDef{name::kBroadcastButton,     Kind::StyledButton, {524, 355, 104,  20}, u"&G广播信息",       u"把信息发送给列表中的所有计算机"},
    ControlDef{name::kSendButton,          Kind::StyledButton, {524, 321, 104,  20}, u"&F发送信息",       u"把信息发送给目标计算机", DefaultButton | OwnColours},
    ControlDef{name::kSaveHistoryButton,   Kind::StyledButton, {524, 296, 104,  20}, u"&B保存历史到文件", u"把信息历史保存到文本文件"},
    ControlDef{name::kClearHistoryButton,  Kind::StyledButton, {524, 272, 104,  20}, u"&K清空历史信息",   u"清空信息历史"},
    ControlDef{name::kExitButton,          Kind::StyledButton, {581, 407,  41,  20}, u"退出",             {}},
    ControlDef{name::kCancelScanButton,    Kind::StyledButton, { 92,  24,  45,  20}, u"&Q取消",           u"取消刷新计算机列表"},
    ControlDef{name::kRefreshButton,       Kind::StyledButton, {  5,  24,  83,  20}, u"&S刷新网上邻居",   u"刷新网上邻居计算机列表"},
    ControlDef{name::kTitleBar,            Kind::Label,        {  0,   0, 632,  19}, u"标签标题",         {}, Gradient, {}, {}, kWhite},
    ControlDef{name::kSignatureBox,        Kind::EditBox,      {521, 242, 108,  19}, u"*在此输入签名*",   {}, SelectAllOnFocus, {},
               {u"签名", u"附在每条信息后的签名"}},
    ControlDef{name::kSaveDialog,          Kind::FileDialog,   {},                   {},                  {}},
    ControlDef{name::kNoteLabel,           Kind::Label,        {520, 113, 109, 123},
               u"★★★注意：只有目标机器也在运行本程序才能收到您发送的信息。如果双方都是NT，2000或XP"
               u"系统，则可以使用信使服务发送，对方机器不必安装本软件。使用信使服务只能发送单行信息。",
                                                                                                   {}, WordWrap | Embossed, {}, {}, Qt::black, {}, 11},
    ControlDef{name::kAboutLabel,          Kind::Label,        {443,  22, 178,  20}, texts::kAbout,         {}, Embossed | SunkenEdge | LinkFont | NoDrag, {},
               {{}, u"打开关于窗口（F1）", QAccessible::Link}, kNavy},
    ControlDef{name::kEndpoint,            Kind::DatagramEndpoint, {},               {},                  {}},
    ControlDef{name::kProgressBar,         Kind::ProgressBar,  {450, 434, 181,  18}, {},                  {}, Hidden | SunkenEdge, {},
               {u"刷新进度"}},
    ControlDef{name::kStatusLine,          Kind::Label,        {  0, 433, 632,  20}, u"标签",             {}, SunkenEdge, {},
               {{}, {}, QAccessible::StatusBar}},
    ControlDef{name::kSendBox,             Kind::EditBox,      {146, 325, 371, 104}, {},                  {}, MultiLine | VScroll | CtrlEnterSubmits,
               u"在此输入信息，按Ctrl+Enter发送。", {u"输入信息"}},
    ControlDef{name::kHistoryBox,          Kind::EditBox,      {146,  47, 371, 272}, {},                  {}, MultiLine | VScroll | ReadOnly, u"信息历史。",
               {u"信息历史"}},
    ControlDef{name::kTargetBox,           Kind::EditBox,      {217,  25, 208,  16}, {},                  {}, NoFlags, u"此为目标计算机名，可以手动输入。",
               {{}, {}, QAccessible::NoRole, name::kTargetLabel}},
    ControlDef{name::kTargetLabel,         Kind::Label,        {145,  23,  68,  20}, u"目标计算机：",     {}, NoMouse},
    ControlDef{name::kComputerList,        Kind::ListBox,      {  1,  47, 140, 382}, {},                  {}, NoFlags, u"在此选择目标计算机。",
               {u"计算机列表"}},
    ControlDef{name::kSpareEndpoint,       Kind::DatagramEndpoint, {},               {},                  {}},
};
// clang-format on

// Tab visits the controls from the bottom of the stack up.
const std::array<QStringView, 14> kMainTabOrder = {
    name::kComputerList,      name::kTargetBox,      name::kHistoryBox,
    name::kSendBox,           name::kSignatureBox,   name::kRefreshButton,
    name::kCancelScanButton,  name::kExitButton,     name::kClearHistoryButton,
    name::kSaveHistoryButton, name::kSendButton,     name::kBroadcastButton,
    name::kMessengerButton,   name::kMinimiseButton,
};

const std::array kTrayMenu = {
    ControlDef{name::kTrayShow, Kind::MenuItem, {}, u"&X.显示主窗口", {}},
    ControlDef{name::kTrayAbout, Kind::MenuItem, {}, u"&G.关于ZEPH...", {}},
    ControlDef{{}, Kind::MenuSeparator, {}, {}, {}},
    ControlDef{name::kTrayExit, Kind::MenuItem, {}, u"&T.退出", {}},
};

// The link's caption and the about text are composed from the product constants
// when the window is created; Tab has nothing to visit.
const std::array kAboutControls = {
    ControlDef{name::kAboutText,
               Kind::EditBox,
               {16, 13, 207, 41},
               {},
               {},
               MultiLine | ReadOnly | Centred | NoBorder,
               {},
               {u"程序信息"},
               Qt::black,
               colour::kEditBackground},
    ControlDef{name::kAboutLink,
               Kind::Hyperlink,
               {0, 73, 240, 20},
               product::kWebAddress,
               {},
               Centred | NoDrag,
               {},
               {{}, {}, QAccessible::Link}},
};

const WindowDef kMain{{}, {639, 480}, {50, 50}, {}, kMainControls, kMainTabOrder, name::kTitleBar};
const WindowDef kAbout{texts::kAbout, {245, 130}, {}, colour::kEditBackground, kAboutControls, {}};

} // namespace

const WindowDef& mainWindowDef()
{
    return kMain;
}
const WindowDef& aboutWindowDef()
{
    return kAbout;
}
std::span<const ControlDef> trayMenuDef()
{
    return kTrayMenu;
}

} // namespace zeph::ui
