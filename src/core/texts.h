#pragma once
// User-visible texts that layers which cannot see each other both show.
// Where texts live: a control's caption, hint and accessible name in the
// window definition (ui/windowdef.cpp); what the wire carries in
// messaging/wiretexts.h; every other text in the texts.h of the lowest layer
// that shows it. Unicode here; zeph::G() turns a text into GBK where it is used.

#include <QStringView>

#include <cstddef>

namespace zeph::texts {

// A text with a number written into it when the program is compiled, so that
// the number keeps one home: withNumber(u"大于 /", 20, u"，") reads u"大于 /20，".
template <std::size_t Size> struct NumberedText {
    char16_t chars[Size]{};
    qsizetype size = 0;
    constexpr operator QStringView() const { return QStringView(chars, size); }
};

template <std::size_t Before, std::size_t After>
constexpr NumberedText<Before + After + 10>
withNumber(const char16_t (&before)[Before], unsigned number, const char16_t (&after)[After])
{
    NumberedText<Before + After + 10> text; // 10 digits hold any unsigned
    for (std::size_t i = 0; i + 1 < Before; ++i)
        text.chars[text.size++] = before[i];
    char16_t digits[10]{};
    int count = 0;
    do {
        digits[count++] = char16_t(u'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0)
        text.chars[text.size++] = digits[--count];
    for (std::size_t i = 0; i + 1 < After; ++i)
        text.chars[text.size++] = after[i];
    return text;
}

// The scan's notice, also the hint suffix (ui) and the clear-history line
// (history) while it runs.
inline constexpr QStringView kScanRunning = u"正在刷新计算机列表，请稍候……";

} // namespace zeph::texts
