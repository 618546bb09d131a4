#include "viewer/dump_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <limits>

namespace {

int clamp_to_int(std::size_t n)
{
    return static_cast<int>(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
}

} // namespace

DumpView::DumpView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    set_dump(HeaderDump());
}

void DumpView::set_dump(HeaderDump dump)
{
    text_ = DumpText(std::move(dump));
    // Every line of a dump is as wide as the heading line or narrower.
    widest_line_ = fontMetrics().horizontalAdvance(QString::fromStdString(dump_header_lines()[0]));
    show_from_the_top();
}

void DumpView::show_from_the_top()
{
    caret_line_ = 0;
    caret_column_ = 0;
    anchor_line_ = 0;
    anchor_column_ = 0;
    highlight_begin_ = highlight_end_ = 0;
    update_scroll_ranges();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

QString DumpView::toPlainText() const { return QString::fromStdString(text_.text()); }

void DumpView::setPlainText(const QString& text)
{
    text_.set_text(text.toStdString());
    widest_line_ = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest_line_ = std::max(widest_line_, fontMetrics().horizontalAdvance(line));
    }
    show_from_the_top();
}

int DumpView::line_height() const { return std::max(1, fontMetrics().lineSpacing()); }

int DumpView::first_visible_line() const { return verticalScrollBar()->value(); }

int DumpView::visible_line_count() const { return std::max(1, viewport()->height() / line_height()); }

QString DumpView::line_text(std::size_t index) const { return QString::fromStdString(text_.line(index)); }

void DumpView::update_scroll_ranges()
{
    const int lines = clamp_to_int(text_.line_count());
    const int page = visible_line_count();
    verticalScrollBar()->setRange(0, std::max(0, lines - page));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const int width = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, widest_line_ + 2 * text_margin() - width));
    horizontalScrollBar()->setPageStep(std::max(1, width));
    horizontalScrollBar()->setSingleStep(std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))));
}

void DumpView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    painter.setFont(font());
    const QFontMetrics metrics = fontMetrics();
    const int height = line_height();
    const int first = first_visible_line();
    const int x = text_margin() - horizontalScrollBar()->value();
    int y = 0;
    int index = first;
    const bool selected = has_selection();
    const auto [from, to] = selection();
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    text_.lines(static_cast<std::size_t>(first), static_cast<std::size_t>(viewport()->height() / height + 1),
                [&](std::string& line) {
                    const QString shown = QString::fromStdString(line);
                    paint_highlight(painter, index, shown, x, y);
                    if (selected && index >= from.y() && index <= to.y()) {
                        const int left = index == from.y() ? metrics.horizontalAdvance(shown.left(from.x())) : 0;
                        // A line break inside the selection shows as a space's width.
                        const int right = index == to.y() ? metrics.horizontalAdvance(shown.left(to.x()))
                                                          : metrics.horizontalAdvance(shown) + space;
                        painter.fillRect(x + left, y, right - left, height, palette().color(QPalette::Highlight));
                    }
                    painter.drawText(x, y + metrics.ascent(), shown);
                    if (index == caret_line_ && hasFocus()) {
                        const int cx = x + metrics.horizontalAdvance(shown.left(caret_column_));
                        painter.drawLine(cx, y, cx, y + height - 1);
                    }
                    y += height;
                    ++index;
                });
    if (hasFocus() && text_.line_count() == 0) {
        painter.drawLine(x, 0, x, height - 1);
    }
}

void DumpView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    update_scroll_ranges();
}

void DumpView::scrollContentsBy(int, int) { viewport()->update(); }

void DumpView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        widest_line_ = std::max(widest_line_,
                                fontMetrics().horizontalAdvance(QString::fromStdString(dump_header_lines()[0])));
        update_scroll_ranges();
    }
}

void DumpView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void DumpView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void DumpView::replace_lines(std::size_t first, std::size_t count, const QStringList& lines)
{
    std::vector<std::string> with;
    with.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& line : lines) {
        widest_line_ = std::max(widest_line_, fontMetrics().horizontalAdvance(line));
        with.push_back(line.toStdString());
    }
    text_.replace(first, count, std::move(with));
    update_scroll_ranges();
    viewport()->update();
}

void DumpView::insert_text(const QString& typed)
{
    QString text = typed;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty()) {
        return;
    }
    if (has_selection()) {
        erase_selection();
    }
    const QString line = line_text(static_cast<std::size_t>(caret_line_));
    const int column = std::min(caret_column_, static_cast<int>(line.size()));
    QStringList lines = (line.left(column) + text).split(QLatin1Char('\n'));
    const int new_column = static_cast<int>(lines.back().size());
    lines.back() += line.mid(column);
    const std::size_t replaced = text_.line_count() == 0 ? 0 : 1;
    replace_lines(static_cast<std::size_t>(caret_line_), replaced, lines);
    move_caret(caret_line_ + static_cast<int>(lines.size()) - 1, new_column);
}

void DumpView::erase_backward()
{
    if (has_selection()) {
        erase_selection();
        return;
    }
    const QString line = line_text(static_cast<std::size_t>(caret_line_));
    const int column = std::min(caret_column_, static_cast<int>(line.size()));
    if (column > 0) {
        // A surrogate pair goes as one character.
        const int width =
            column >= 2 && line[column - 1].isLowSurrogate() && line[column - 2].isHighSurrogate() ? 2 : 1;
        replace_lines(static_cast<std::size_t>(caret_line_), 1, {line.left(column - width) + line.mid(column)});
        move_caret(caret_line_, column - width);
    } else if (caret_line_ > 0) {
        const QString previous = line_text(static_cast<std::size_t>(caret_line_ - 1));
        replace_lines(static_cast<std::size_t>(caret_line_ - 1), 2, {previous + line});
        move_caret(caret_line_ - 1, static_cast<int>(previous.size()));
    }
}

void DumpView::erase_forward()
{
    if (has_selection()) {
        erase_selection();
        return;
    }
    const QString line = line_text(static_cast<std::size_t>(caret_line_));
    const int column = std::min(caret_column_, static_cast<int>(line.size()));
    if (column < line.size()) {
        const int width = column + 1 < line.size() && line[column].isHighSurrogate() ? 2 : 1;
        replace_lines(static_cast<std::size_t>(caret_line_), 1, {line.left(column) + line.mid(column + width)});
    } else if (static_cast<std::size_t>(caret_line_) + 1 < text_.line_count()) {
        const QString next = line_text(static_cast<std::size_t>(caret_line_ + 1));
        replace_lines(static_cast<std::size_t>(caret_line_), 2, {line + next});
    }
    move_caret(caret_line_, column);
}

std::pair<QPoint, QPoint> DumpView::selection() const
{
    const QPoint anchor(anchor_column_, anchor_line_);
    const QPoint caret(caret_column_, caret_line_);
    const bool anchor_first =
        anchor_line_ < caret_line_ || (anchor_line_ == caret_line_ && anchor_column_ < caret_column_);
    return anchor_first ? std::pair{anchor, caret} : std::pair{caret, anchor};
}

QString DumpView::selected_text() const
{
    if (!has_selection()) {
        return {};
    }
    const auto [from, to] = selection();
    QStringList lines;
    std::size_t index = static_cast<std::size_t>(from.y());
    text_.lines(index, static_cast<std::size_t>(to.y() - from.y() + 1), [&](std::string& line) {
        QString text = QString::fromStdString(line);
        if (index == static_cast<std::size_t>(to.y())) {
            text.truncate(to.x());
        }
        if (index == static_cast<std::size_t>(from.y())) {
            text.remove(0, from.x());
        }
        lines.append(text);
        ++index;
    });
    return lines.join(QLatin1Char('\n'));
}

void DumpView::erase_selection()
{
    const auto [from, to] = selection();
    const QString head = line_text(static_cast<std::size_t>(from.y())).left(from.x());
    const QString tail = line_text(static_cast<std::size_t>(to.y())).mid(to.x());
    replace_lines(static_cast<std::size_t>(from.y()), static_cast<std::size_t>(to.y() - from.y() + 1),
                  {head + tail});
    move_caret(from.y(), from.x());
}

void DumpView::move_caret(int line, int column, bool extend)
{
    const int last = std::max(0, clamp_to_int(text_.line_count()) - 1);
    caret_line_ = std::clamp(line, 0, last);
    caret_column_ =
        std::clamp(column, 0, static_cast<int>(line_text(static_cast<std::size_t>(caret_line_)).size()));
    if (!extend) {
        anchor_line_ = caret_line_;
        anchor_column_ = caret_column_;
    } else {
        // The anchor may lie past a line an edit shortened.
        anchor_line_ = std::clamp(anchor_line_, 0, last);
        anchor_column_ = std::clamp(anchor_column_, 0,
                                    static_cast<int>(line_text(static_cast<std::size_t>(anchor_line_)).size()));
    }
    ensure_caret_visible();
    viewport()->update();
}

void DumpView::ensure_caret_visible()
{
    QScrollBar* vertical = verticalScrollBar();
    if (caret_line_ < vertical->value()) {
        vertical->setValue(caret_line_);
    } else if (caret_line_ >= vertical->value() + visible_line_count()) {
        vertical->setValue(caret_line_ - visible_line_count() + 1);
    }
    const int x = text_margin() + fontMetrics().horizontalAdvance(
                                      line_text(static_cast<std::size_t>(caret_line_)).left(caret_column_));
    QScrollBar* horizontal = horizontalScrollBar();
    if (x < horizontal->value()) {
        horizontal->setValue(x - text_margin());
    } else if (x >= horizontal->value() + viewport()->width()) {
        horizontal->setValue(x - viewport()->width() + text_margin() + 1);
    }
}

void DumpView::keyPressEvent(QKeyEvent* event)
{
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    if (event == QKeySequence::Paste) {
        insert_text(QApplication::clipboard()->text());
        return;
    }
    if (event == QKeySequence::Copy || event == QKeySequence::Cut) {
        if (has_selection()) {
            QApplication::clipboard()->setText(selected_text());
            if (event == QKeySequence::Cut) {
                erase_selection();
            }
        }
        return;
    }
    if (event == QKeySequence::SelectAll) {
        anchor_line_ = 0;
        anchor_column_ = 0;
        move_caret(std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), true);
        return;
    }
    const int page = visible_line_count();
    const int end = std::numeric_limits<int>::max();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: insert_text(QStringLiteral("\n")); return;
    case Qt::Key_Backspace: erase_backward(); return;
    case Qt::Key_Delete: erase_forward(); return;
    case Qt::Key_Left:
        if (caret_column_ > 0) {
            move_caret(caret_line_, caret_column_ - 1, shift);
        } else if (caret_line_ > 0) {
            move_caret(caret_line_ - 1, end, shift);
        }
        return;
    case Qt::Key_Right:
        if (caret_column_ < line_text(static_cast<std::size_t>(caret_line_)).size()) {
            move_caret(caret_line_, caret_column_ + 1, shift);
        } else if (static_cast<std::size_t>(caret_line_) + 1 < text_.line_count()) {
            move_caret(caret_line_ + 1, 0, shift);
        }
        return;
    case Qt::Key_Up: move_caret(caret_line_ - 1, caret_column_, shift); return;
    case Qt::Key_Down: move_caret(caret_line_ + 1, caret_column_, shift); return;
    case Qt::Key_PageUp:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - page);
        move_caret(caret_line_ - page, caret_column_, shift);
        return;
    case Qt::Key_PageDown:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + page);
        move_caret(caret_line_ + page, caret_column_, shift);
        return;
    case Qt::Key_Home: move_caret(control ? 0 : caret_line_, 0, shift); return;
    case Qt::Key_End: move_caret(control ? end : caret_line_, end, shift); return;
    default: break;
    }
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                                           [](QChar c) { return c.isPrint() || c.isSurrogate(); });
    if (printable && !control && (event->modifiers() & Qt::AltModifier) == 0) {
        insert_text(typed);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void DumpView::inputMethodEvent(QInputMethodEvent* event)
{
    insert_text(event->commitString());
    event->accept();
}

QVariant DumpView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (query == Qt::ImCursorRectangle) {
        const int x =
            text_margin() - horizontalScrollBar()->value() +
            fontMetrics().horizontalAdvance(line_text(static_cast<std::size_t>(caret_line_)).left(caret_column_));
        const int y = (caret_line_ - first_visible_line()) * line_height();
        return QRect(x, y, 1, line_height());
    }
    return QAbstractScrollArea::inputMethodQuery(query);
}

QPoint DumpView::position_at(QPoint pixel) const
{
    const int line = std::max(0, first_visible_line() + pixel.y() / line_height());
    const QString text = line_text(static_cast<std::size_t>(line));
    const int x = pixel.x() - text_margin() + horizontalScrollBar()->value();
    int column = 0;
    int best = std::abs(x);
    for (int i = 1; i <= text.size(); ++i) {
        const int distance = std::abs(fontMetrics().horizontalAdvance(text.left(i)) - x);
        if (distance < best) {
            best = distance;
            column = i;
        }
    }
    return {column, line};
}

void DumpView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint at = position_at(event->position().toPoint());
    const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
    move_caret(at.y(), at.x(), extend);
    const QPoint under = character_at(event->position().toPoint());
    const int64_t offset = dump_byte_at(static_cast<std::size_t>(under.y()), under.x());
    if (!extend && offset >= 0 && offset < text_.byte_count()) {
        emit byte_clicked(offset);
    }
}

QPoint DumpView::character_at(QPoint pixel) const
{
    const int line = std::max(0, first_visible_line() + pixel.y() / line_height());
    const QString text = line_text(static_cast<std::size_t>(line));
    const int x = pixel.x() - text_margin() + horizontalScrollBar()->value();
    for (int i = 0; i < text.size(); ++i) {
        if (x < fontMetrics().horizontalAdvance(text.left(i + 1))) {
            return {x < 0 ? -1 : i, line};
        }
    }
    return {-1, line};
}

void DumpView::highlight_bytes(int64_t begin, int64_t end)
{
    highlight_begin_ = begin;
    highlight_end_ = std::max(begin, end);
    if (highlight_end_ > highlight_begin_) {
        const auto line = static_cast<int>(std::min<std::size_t>(dump_line_of(begin), INT32_MAX));
        if (line < first_visible_line() || line >= first_visible_line() + visible_line_count()) {
            verticalScrollBar()->setValue(line);
        }
        horizontalScrollBar()->setValue(0);
    }
    viewport()->update();
}

void DumpView::paint_highlight(QPainter& painter, int index, const QString& shown, int x, int y) const
{
    if (highlight_end_ <= highlight_begin_ || index < 2) {
        return;
    }
    const int64_t line_start = static_cast<int64_t>(index - 2) * 16;
    const int64_t first = std::max(highlight_begin_, line_start);
    const int64_t last = std::min(highlight_end_, line_start + 16) - 1;
    if (first > last) {
        return;
    }
    const QFontMetrics metrics = fontMetrics();
    const auto advance = [&](int column) { return metrics.horizontalAdvance(shown.left(column)); };
    const QColor mark(255, 230, 140);
    const int height = line_height();
    for (const auto& [from, to] : {std::pair{dump_hex_column(first), dump_hex_column(last) + 2},
                                   std::pair{dump_char_column(first), dump_char_column(last) + 1}}) {
        if (to <= shown.size()) {
            painter.fillRect(x + advance(from), y, advance(to) - advance(from), height, mark);
        }
    }
}

void DumpView::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) == 0) {
        return;
    }
    const QPoint at = position_at(event->position().toPoint());
    move_caret(at.y(), at.x(), true);
}
