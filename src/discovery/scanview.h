#pragma once
// What the scan drives on the main window. ui::WindowScanView implements it;
// tests implement it with plain members. Texts are GBK.

#include "core/ipv4.h"

#include <QByteArray>

namespace zeph {

class ScanView {
public:
    virtual ~ScanView() = default;

    virtual void setStatus(const QByteArray& text) = 0; // 标签状态条
    virtual void waitCursorOn() = 0;
    virtual void restoreCursor() = 0;
    virtual void setProgressVisible(bool visible) = 0; // 进度条
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void clearComputers() = 0; // 计算机列表框
    // A row of the list: the name, and the host that answered for it.
    virtual void addComputer(const QByteArray& name, Ipv4Address address) = 0;
    // Scanning: 按钮取消刷新 enabled, 按钮刷新计算机列表 disabled; idle: the opposite.
    virtual void setScanButtons(bool scanning) = 0;
};

} // namespace zeph
