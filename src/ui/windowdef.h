#pragma once
// The windows as data: every control with its kind, name, geometry, text,
// hint, look and what a screen reader is told of it; the stacking and the
// tab order. The widgets are built from these tables; no geometry or text is
// written anywhere else.

#include <QAccessible>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QStringView>

#include <array>
#include <span>

namespace zeph::ui {

enum class Kind {
    Label,
    EditBox,
    Button,
    StyledButton,
    PictureBox,
    ListBox,
    ProgressBar,
    FileDialog,       // non-visual: the save dialog's settings
    DatagramEndpoint, // non-visual: owned by the messaging core
    Hyperlink,
    MenuItem,
    MenuSeparator,
};

// Look and behaviour flags of one control.
enum Flag : unsigned {
    NoFlags = 0,
    Tab = 1u << 0, // takes part in the tab order
    MultiLine = 1u << 1,
    ReadOnly = 1u << 2,
    VScroll = 1u << 3,
    DefaultButton = 1u << 4,
    Hidden = 1u << 5,  // hidden at start
    NoMouse = 1u << 6, // disabled label: the mouse goes through it
    WordWrap = 1u << 7,
    Embossed = 1u << 8, // caption drawn white, then again 1 px right and down
    SunkenEdge = 1u << 9,
    Gradient = 1u << 10,   // the title bar's three-colour gradient
    LinkFont = 1u << 11,   // Arial 12 px bold italic underlined
    Centred = 1u << 12,    // caption centred both ways
    OwnColours = 1u << 13, // the send button's own normal / hover / focus colours
    NoBorder = 1u << 14,
    NoDrag = 1u << 15,           // a press here does not move the window: the control's own
    SelectAllOnFocus = 1u << 16, // focus or a left click selects the whole text
    CtrlEnterSubmits = 1u << 17, // a multi-line box: Enter is a line break, Ctrl+Enter submits
};

// What a screen reader is told of a control beyond what it shows.
struct Access {
    QStringView name = {};        // empty: its caption, or the text of the label it is the buddy of
    QStringView description = {}; // empty: its hint, else its tooltip
    QAccessible::Role role = QAccessible::NoRole; // NoRole: its kind's own role
    QStringView labelledBy = {};                  // the label naming it; the label's buddy
};

struct ControlDef {
    QStringView name;
    Kind kind;
    QRect geometry;      // client coordinates
    QStringView text;    // initial caption or content
    QStringView tooltip; // styled buttons
    unsigned flags = NoFlags;
    QStringView hint = {}; // shown in the status line while the pointer is over the control
    Access access = {};
    QColor textColour = Qt::black;
    QColor background = {}; // invalid: the system button face
    int fontPixels = 0;     // 0: the window's font
};

struct WindowDef {
    QStringView title; // also its accessible name, when the window has one
    QSize size;        // outer size from the template
    QPoint templatePosition;
    QColor background; // invalid: the system button face
    // Stacking: the first control is the topmost, each stands below the one before.
    std::span<const ControlDef> controls;
    // The controls that Tab visits, in the order it visits them.
    std::span<const QStringView> tabOrder;
    // A window without a title of its own: the label whose caption names it.
    QStringView titleBar = {};
};

const WindowDef& mainWindowDef();
const WindowDef& aboutWindowDef();
std::span<const ControlDef> trayMenuDef();

// Names of the controls that code refers to.
namespace name {
inline constexpr QStringView kBanner = u"图片框1";
inline constexpr QStringView kMinimiseButton = u"按钮最小化";
inline constexpr QStringView kMessengerButton = u"按钮信使发送";
inline constexpr QStringView kBroadcastButton = u"按钮广播信息";
inline constexpr QStringView kSendButton = u"按钮发送信息";
inline constexpr QStringView kSaveHistoryButton = u"按钮保存信息历史";
inline constexpr QStringView kClearHistoryButton = u"按钮清空历史信息";
inline constexpr QStringView kExitButton = u"按钮退出";
inline constexpr QStringView kCancelScanButton = u"按钮取消刷新";
inline constexpr QStringView kRefreshButton = u"按钮刷新计算机列表";
inline constexpr QStringView kTitleBar = u"标签标题栏";
inline constexpr QStringView kSignatureBox = u"编辑框签名";
inline constexpr QStringView kSaveDialog = u"通用对话框";
inline constexpr QStringView kNoteLabel = u"标签3";
inline constexpr QStringView kAboutLabel = u"标签关于";
inline constexpr QStringView kEndpoint = u"数据报";
inline constexpr QStringView kProgressBar = u"进度条";
inline constexpr QStringView kStatusLine = u"标签状态条";
inline constexpr QStringView kSendBox = u"编辑框发送信息";
inline constexpr QStringView kHistoryBox = u"编辑框信息历史";
inline constexpr QStringView kTargetBox = u"编辑框目标计算机";
inline constexpr QStringView kTargetLabel = u"标签1";
inline constexpr QStringView kComputerList = u"计算机列表框";
inline constexpr QStringView kSpareEndpoint = u"数据报1";
inline constexpr QStringView kAboutText = u"编辑框1";
inline constexpr QStringView kAboutLink = u"超级链接框2";
inline constexpr QStringView kTrayShow = u"托盘菜单显示";
inline constexpr QStringView kTrayAbout = u"托盘菜单关于";
inline constexpr QStringView kTrayExit = u"托盘菜单退出";
} // namespace name

// Keys beyond the controls' own: F1 opens the about window, as the about label does.
namespace key {
inline constexpr Qt::Key kAbout = Qt::Key_F1;
} // namespace key

// Fonts: on Windows the window prefers the classic Chinese desktop's font,
// under either of its names.
namespace font {
inline constexpr std::array<QStringView, 2> kWindowsFamilies = {u"SimSun", u"宋体"};
} // namespace font

// Colours shared by several controls.
namespace colour {
inline const QColor kEditBackground(244, 240, 232); // edit boxes, the list, the about window
} // namespace colour

// The embedded pictures.
namespace resource {
inline constexpr QStringView kIcon = u":/zeph.ico";
inline constexpr QStringView kBanner = u":/banner.jpg";
} // namespace resource

// The save dialog's settings.
namespace savedialog {
inline constexpr QStringView kTitle = u"保存信息历史";
inline constexpr QStringView kFilter = u"*.txt";
inline constexpr QStringView kDefaultSuffix = u"txt";
} // namespace savedialog

} // namespace zeph::ui
