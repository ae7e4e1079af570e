#pragma once
// What the messaging handlers read from and write to the main window.
// ui::WindowForm implements it; tests implement it with plain members. All texts GBK.

#include "core/ipv4.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace zeph {

class MessageForm {
public:
    virtual ~MessageForm() = default;

    virtual QByteArray target() const = 0; // 编辑框目标计算机
    virtual void setTarget(const QByteArray& text) = 0;
    virtual QByteArray content() const = 0; // 编辑框发送信息
    virtual void setContent(const QByteArray& text) = 0;
    virtual QByteArray signature() const = 0; // 编辑框签名
    // 计算机列表框, in list order: each row's name and the host that answered for it.
    struct Listed {
        QByteArray name;
        Ipv4Address address;
    };
    virtual QList<Listed> computers() const = 0;
    // The host of the row the user chose, while the target box still holds
    // that row's name: a name that several hosts answer for goes to the row's.
    virtual std::optional<Ipv4Address> chosenAddress() const = 0;
    // The characters of the send box and the signature that GBK cannot carry,
    // each once: the texts above hold '?' in their place.
    virtual QList<char32_t> uncarried() const = 0;
    // A message arrived: show the main window (leaving the tray) and tell the
    // user. sender is empty when the text named none; firstLine is the first
    // line of its content.
    virtual void showArrival(const QByteArray& sender, const QByteArray& firstLine) = 0;

    // Used while the messenger service runs: 按钮信使发送 and the wait cursor.
    virtual void setMessengerButtonEnabled(bool enabled) = 0;
    virtual void waitCursorOn() = 0;
    virtual void restoreCursor() = 0;
};

} // namespace zeph
