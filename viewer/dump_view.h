// The memo: the dump drawn line by line, only the lines on screen, from a
// DumpText (the file's bytes with the user's edits over them). It can be
// typed into: characters, Enter, Backspace, Delete and pasting change the
// text; the arrows, Home, End, Page Up/Down (with Ctrl: the whole text)
// move the caret, as does a click. With Shift, or dragging the mouse, the
// caret takes a selection along (Ctrl+A: all of it), which Ctrl+C copies
// and typing replaces.
#pragma once

#include <QAbstractScrollArea>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <utility>

#include "viewer/dump_text.h"

class QPainter;

class DumpView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit DumpView(QWidget* parent = nullptr);

    // Shows `dump` unedited, from its top left, the caret at the start.
    void set_dump(HeaderDump dump);
    const DumpText& text() const { return text_; }

    // The whole text, lines joined by line feeds; for small texts.
    QString toPlainText() const;
    // Replaces the text, as typing it over everything would.
    void setPlainText(const QString& text);
    void clear() { setPlainText(QString()); }

    // The first line on screen and the lines that fit the viewport.
    int first_visible_line() const;
    int visible_line_count() const;
    // The caret: line and position in it (UTF-16 units).
    int caret_line() const { return caret_line_; }
    int caret_column() const { return caret_column_; }
    // The selected text, lines joined by line feeds; empty without one.
    QString selected_text() const;
    // Marks the bytes [begin, end) of the file, digits and characters, and
    // scrolls the first of them into view; an empty range clears the mark.
    void highlight_bytes(int64_t begin, int64_t end);
    std::pair<int64_t, int64_t> highlighted_bytes() const { return {highlight_begin_, highlight_end_}; }

signals:
    // A click on a byte's digits or character: the byte's offset in the file.
    void byte_clicked(int64_t offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QString line_text(std::size_t index) const;
    // Replaces lines [first, first + count) by `lines` and widens the scroll
    // range to the longest line typed.
    void replace_lines(std::size_t first, std::size_t count, const QStringList& lines);
    void insert_text(const QString& typed);
    void erase_backward();
    void erase_forward();
    // Moves the caret; without `extend` the selection goes.
    void move_caret(int line, int column, bool extend = false);
    bool has_selection() const { return anchor_line_ != caret_line_ || anchor_column_ != caret_column_; }
    // The selection's ends in text order: {line, column} each.
    std::pair<QPoint, QPoint> selection() const;
    // Removes the selected text; the caret goes where it began.
    void erase_selection();
    QPoint position_at(QPoint pixel) const;
    // The line and the column of the character under `pixel`; column -1 past the line's end.
    QPoint character_at(QPoint pixel) const;
    // Fills the marked bytes' digits and characters on line `index` drawn at x, y.
    void paint_highlight(QPainter& painter, int index, const QString& shown, int x, int y) const;
    void ensure_caret_visible();
    void update_scroll_ranges();
    // Caret and selection at the start, the view scrolled to the top.
    void show_from_the_top();
    int line_height() const;
    int text_margin() const { return 2; }

    DumpText text_;
    int widest_line_ = 0; // pixels
    int caret_line_ = 0;
    int caret_column_ = 0;
    int anchor_line_ = 0;
    int anchor_column_ = 0;
    int64_t highlight_begin_ = 0;
    int64_t highlight_end_ = 0;
};
