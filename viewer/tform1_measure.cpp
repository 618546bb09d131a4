// The image view's measurements: the values under the cursor in the status
// bar and the ruler's lines, drawn over the picture and kept with their image.
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <cmath>

#include "view/measurement.h"
#include "viewer/picture_readout.h"
#include "viewer/tform1.h"

namespace {

const QColor ruler_colour(64, 224, 255);

} // namespace

FramePoint TForm1::frame_point(QPointF position) const
{
    // The pane pixel under the cursor shows the frame at its centre.
    const ViewRect view = shown_view();
    return {view.left + (position.x() + 0.5) / view.scale_x, view.top + (position.y() + 0.5) / view.scale_y};
}

QPointF TForm1::pane_point(FramePoint point) const
{
    const ViewRect view = shown_view();
    return {(point.column - view.left) * view.scale_x, (point.row - view.top) * view.scale_y};
}

std::pair<std::string, int> TForm1::shown_image() const
{
    return {opened_ ? opened_->path() : std::string(), shown_.frame};
}

const ViewAttributes& TForm1::view_attributes() const
{
    const std::string& path = shown_image().first;
    if (path != attributes_path_) {
        attributes_ = read_view_attributes(path).attributes;
        attributes_path_ = path;
    }
    return attributes_;
}

void TForm1::show_readout(std::optional<QPointF> position)
{
    std::optional<Readout> readout;
    if (position && state_.image_shown) {
        const int frame_number = shown_.frame_count > 1 ? shown_.frame + 1 : 0;
        readout =
            picture_readout(display_picture_->frame, view_attributes(), frame_point(*position), frame_number);
    }
    if (!readout) {
        lbValues->clear();
        return;
    }
    const ReadoutWords words{tr("x").toStdString(),  tr("y").toStdString(),      tr("格納値").toStdString(),
                             tr("値").toStdString(), tr("値なし").toStdString(), tr("フレーム").toStdString()};
    lbValues->setText(QString::fromStdString(readout_text(*readout, words)));
}

const std::vector<TForm1::RulerLine>& TForm1::ruler_lines() const
{
    static const std::vector<RulerLine> none;
    const auto found = rulers_.find(shown_image());
    return found != rulers_.end() ? found->second : none;
}

QStringList TForm1::ruler_texts() const
{
    QStringList texts;
    const ViewAttributes& attributes = view_attributes();
    for (const RulerLine& line : ruler_lines()) {
        texts.append(QString::fromStdString(distance_text(measure_distance(attributes, line.from, line.to))));
    }
    return texts;
}

void TForm1::start_ruler(QPointF position)
{
    if (!state_.image_shown) {
        return;
    }
    const FramePoint at = frame_point(position);
    ruler_drag_ = RulerLine{at, at};
}

void TForm1::move_ruler(QPointF position)
{
    ruler_drag_->to = frame_point(position);
    show_picture();
}

void TForm1::end_ruler()
{
    const RulerLine line = *ruler_drag_;
    ruler_drag_.reset();
    // A click without a drag measures nothing.
    if (line.from.column != line.to.column || line.from.row != line.to.row) {
        rulers_[shown_image()].push_back(line);
    }
    show_picture();
}

void TForm1::clear_rulers()
{
    ruler_drag_.reset();
    rulers_.erase(shown_image());
    if (state_.image_shown) {
        show_picture();
    }
}

void TForm1::show_picture()
{
    std::vector<RulerLine> lines = ruler_lines();
    if (ruler_drag_) {
        lines.push_back(*ruler_drag_);
    }
    if (lines.empty()) {
        Image->setPixmap(QPixmap::fromImage(rendered_));
        return;
    }
    QImage picture = rendered_.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = Image->font();
    font.setPixelSize(12);
    painter.setFont(font);
    const ViewAttributes& attributes = view_attributes();
    for (const RulerLine& line : lines) {
        const QPointF from = pane_point(line.from);
        const QPointF to = pane_point(line.to);
        painter.setPen(QPen(ruler_colour, 1.5));
        painter.drawLine(from, to);
        for (const QPointF& end : {from, to}) {
            painter.drawEllipse(end, 2.0, 2.0);
        }
        // The length beside the end the drag reached, outlined to read on any gray.
        const QString text =
            QString::fromStdString(distance_text(measure_distance(attributes, line.from, line.to)));
        const QPointF at = to + QPointF(8, to.y() < from.y() ? -4 : 14);
        painter.setPen(Qt::black);
        for (const QPointF& shift : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)}) {
            painter.drawText(at + shift, text);
        }
        painter.setPen(ruler_colour);
        painter.drawText(at, text);
    }
    painter.end();
    Image->setPixmap(QPixmap::fromImage(picture));
}
