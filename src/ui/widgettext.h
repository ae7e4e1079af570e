#pragma once
// The widget edge of the text: GBK bytes with CR LF inside, QString with LF in
// the multi-line boxes.

#include "core/gbk.h"

#include <QString>

namespace zeph::ui {

inline QString toMultiLineWidget(QByteArrayView gbkText)
{
    return gbk::toUnicode(gbk::crLfToLf(gbkText));
}

inline QByteArray fromMultiLineWidget(const QString& text)
{
    return gbk::lfToCrLf(gbk::fromUnicode(text));
}

} // namespace zeph::ui
