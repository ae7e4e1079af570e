#include "ui/windowdef.h"

#include "core/product.h"

#include <array>

namespace zeph::ui {
namespace {

const QColor kEditColour(244, 240, 232);
const QColor kWhite(255, 255, 255);
const QColor kNavy(0, 0, 128);

// Stacked in this order, each below the previous; the tab order runs from the
// bottom of the table up. Columns: name, kind, geometry, text, tooltip, flags,
// text colour, background, font size.
// clang-format off
const std::array kMainControls = {
    ControlDef{name::kBanner,          Kind::PictureBox,   {518,  46, 115,  64}, u":/banner.jpg",     {}, NoDrag},
    ControlDef{name::kMinimiseButton,        Kind::Button,       {614,   2,  16,  16}, u"*",                {}, Tab | Centred},
    ControlDef{name::kMessengerButton,      Kind::StyledButton, {524, 380, 104,  20}, u"使用信使服务发送", u"通过信使服务发送信息，对方不必运行本程序", Tab},
    ControlDef{name::kBroadcastButton,      Kind::StyledButton, {524, 355, 104,  20}, u"&G广播信息",       u"把信息发送给列表中的所有计算机", Tab},
    ControlDef{name::kSendButton,      Kind::StyledButton, {524, 321, 104,  20}, u"&F发送信息",       u"把信息发送给目标计算机", Tab | DefaultButton | OwnColours},
    ControlDef{name::kSaveHistoryButton,  Kind::StyledButton, {524, 296, 104,  20}, u"&B保存历史到文件", u"把信息历史保存到文本文件", Tab},
    ControlDef{name::kClearHistoryButton,  Kind::StyledButton, {524, 272, 104,  20}, u"&K清空历史信息",   u"清空信息历史", Tab},
    ControlDef{name::kExitButton,          Kind::StyledButton, {581, 407,  41,  20}, u"退出",             {}, Tab},
    ControlDef{name::kCancelScanButton,      Kind::StyledButton, { 92,  24,  45,  20}, u"&Q取消",           u"取消刷新计算机列表", Tab},
    ControlDef{name::kRefreshButton, Kind::StyledButton, {  5,  24,  83,  20}, u"&S刷新网上邻居",   u"刷新网上邻居计算机列表", Tab},
    ControlDef{name::kTitleBar,        Kind::Label,        {  0,   0, 632,  19}, u"标签标题",         {}, Gradient, kWhite},
    ControlDef{name::kSignatureBox,        Kind::EditBox,      {521, 242, 108,  19}, u"*在此输入签名*",   {}, Tab},
    ControlDef{name::kSaveDialog,        Kind::FileDialog,   {},                   {},                  {}},
    ControlDef{name::kNoteLabel,             Kind::Label,        {520, 113, 109, 123},
               u"★★★注意：只有目标机器也在运行本程序才能收到您发送的信息。如果双方都是NT，2000或XP"
               u"系统，则可以使用信使服务发送，对方机器不必安装本软件。使用信使服务只能发送单行信息。",
                                                                                                   {}, WordWrap | Embossed, Qt::black, {}, 11},
    ControlDef{name::kAboutLabel,          Kind::Label,        {443,  22, 178,  20}, u"关于Zeph",         {}, Embossed | SunkenEdge | LinkFont | NoDrag, kNavy},
    ControlDef{name::kEndpoint,            Kind::DatagramEndpoint, {},               {},                  {}},
    ControlDef{name::kProgressBar,            Kind::ProgressBar,  {450, 434, 181,  18}, {},                  {}, Hidden | SunkenEdge},
    ControlDef{name::kStatusLine,        Kind::Label,        {  0, 433, 632,  20}, u"标签",             {}, SunkenEdge},
    ControlDef{name::kSendBox,    Kind::EditBox,      {146, 325, 371, 104}, {},                  {}, Tab | MultiLine | VScroll},
    ControlDef{name::kHistoryBox,    Kind::EditBox,      {146,  47, 371, 272}, {},                  {}, Tab | MultiLine | VScroll | ReadOnly},
    ControlDef{name::kTargetBox,  Kind::EditBox,      {217,  25, 208,  16}, {},                  {}, Tab},
    ControlDef{name::kTargetLabel,             Kind::Label,        {145,  23,  68,  20}, u"目标计算机：",     {}, NoMouse},
    ControlDef{name::kComputerList,      Kind::ListBox,      {  1,  47, 140, 382}, {},                  {}, Tab},
    ControlDef{name::kSpareEndpoint,           Kind::DatagramEndpoint, {},               {},                  {}},
};
// clang-format on

const std::array kMainBindings = {
    Binding{{}, Event::Created, Handler::StartUp},
    Binding{{}, Event::FirstActivation, Handler::FirstActivation},
    Binding{{}, Event::KeyDown, Handler::KeyDownCancel},
    Binding{{}, Event::TrayEvent, Handler::TrayEvent},
    Binding{{}, Event::Destroyed, Handler::WindowDestroyed},
    Binding{name::kBanner, Event::LeftPressed, Handler::OpenAdvertisedPage},
    Binding{name::kMinimiseButton, Event::Clicked, Handler::HideMainWindow},
    Binding{name::kMessengerButton, Event::Clicked, Handler::MessengerSend},
    Binding{name::kBroadcastButton, Event::Clicked, Handler::Broadcast},
    Binding{name::kSendButton, Event::Clicked, Handler::SendMessage},
    Binding{name::kSaveHistoryButton, Event::Clicked, Handler::SaveHistory},
    Binding{name::kClearHistoryButton, Event::Clicked, Handler::ClearHistory},
    Binding{name::kExitButton, Event::Clicked, Handler::ConfirmedExit},
    Binding{name::kCancelScanButton, Event::Clicked, Handler::RequestCancel},
    Binding{name::kRefreshButton, Event::Clicked, Handler::RunScan},
    Binding{name::kSignatureBox, Event::GotFocus, Handler::SelectAll},
    Binding{name::kSignatureBox, Event::LeftReleased, Handler::SelectAll},
    Binding{name::kAboutLabel, Event::LeftReleased, Handler::ShowAbout},
    Binding{name::kEndpoint, Event::DataArrived, Handler::Receive},
    Binding{name::kSendBox, Event::KeyDown, Handler::SendOnCtrlEnter},
    Binding{name::kSendBox, Event::MouseMoved, Handler::ShowHint,
            u"在此输入信息，按Ctrl+Enter发送。"},
    Binding{name::kHistoryBox, Event::MouseMoved, Handler::ShowHint, u"信息历史。"},
    Binding{name::kTargetBox, Event::MouseMoved, Handler::ShowHint,
            u"此为目标计算机名，可以手动输入。"},
    Binding{name::kComputerList, Event::MouseMoved, Handler::ShowHint, u"在此选择目标计算机。"},
    Binding{name::kComputerList, Event::SelectionChanged, Handler::TakeSelectedComputer},
    Binding{name::kTrayShow, Event::Chosen, Handler::ShowMainWindow},
    Binding{name::kTrayAbout, Event::Chosen, Handler::ShowAbout},
    Binding{name::kTrayExit, Event::Chosen, Handler::ImmediateExit},
};

const std::array kTrayMenu = {
    ControlDef{name::kTrayShow, Kind::MenuItem, {}, u"&X.显示主窗口", {}},
    ControlDef{name::kTrayAbout, Kind::MenuItem, {}, u"&G.关于ZEPH...", {}},
    ControlDef{{}, Kind::MenuSeparator, {}, {}, {}},
    ControlDef{name::kTrayExit, Kind::MenuItem, {}, u"&T.退出", {}},
};

// The link's caption and the about text are composed from the product constants
// when the window is created.
const std::array kAboutControls = {
    ControlDef{name::kAboutText,
               Kind::EditBox,
               {16, 13, 207, 41},
               {},
               {},
               MultiLine | ReadOnly | Centred | NoBorder,
               Qt::black,
               kEditColour},
    ControlDef{
        name::kAboutLink, Kind::Hyperlink, {0, 73, 240, 20}, product::kWebAddress, {}, Centred},
};

const std::array kAboutBindings = {
    Binding{{}, Event::Created, Handler::FillAboutText},
};

const WindowDef kMain{{}, {639, 480}, {50, 50}, {}, kMainControls, kMainBindings};
const WindowDef kAbout{u"关于Zeph", {245, 130}, {}, kEditColour, kAboutControls, kAboutBindings};

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
