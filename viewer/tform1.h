// The main window: tool bar, dump memo, image pane and element table.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "view/frame_point.h"
#include "view/view_attributes.h"
#include "viewer/dialogs.h"
#include "viewer/display.h"
#include "viewer/display_info.h"
#include "viewer/full_frame.h"
#include "viewer/header_walk.h"
#include "viewer/open_pipeline.h"
#include "viewer/picture_render.h"
#include "viewer/set_browser.h"
#include "viewer/viewer_state.h"

class QAction;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QPdfDocument;
class QPlainTextEdit;
class QMenu;
class QDialog;
class QTableView;
class QTableWidget;
class FoldState;
class RowFinder;
struct FindResult;
struct HeaderDifference;
class DumpView;
class GridModel;
class QToolButton;
class QSplitter;
class QKeyEvent;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class FolderScan;
class ReadAhead;
class PacsDialog;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // dialogs answers every modal dialog and box; null means the real ones.
    explicit TForm1(Dialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // Handlers.
    void Open1Click();
    // Open from the check on: what Open1Click does once a file is chosen. The
    // command line and a dropped file come in here.
    void open_file(const QString& path);
    // Start-up: shows the window, then opens file unless it is empty.
    void show_and_open(const QString& file);
    // Start-up with a folder or several files: shows the window and opens them as a set.
    void show_and_open_set(const QStringList& paths);
    // File > Open folder: a folder chosen in the dialog, opened as a set.
    void OpenFolder1Click();
    // Opens folders, files and DICOMDIRs as one set: the scan starts, the
    // series pane fills as files are read, and the first series found shows.
    void open_set(const QStringList& paths);
    // Stops the scan where it is; what was read stays open.
    void cancel_scan();
    // Files joining the set open (a retrieve's, as they arrive): read and
    // grouped after what the scan has.
    void add_to_set(const QStringList& paths);
    // File > PACS...: the archives' dialog, kept while the window lives.
    void Pacs1Click();
    // A set is open (the series pane shows), and its scan has ended and
    // everything it read is in the pane.
    bool set_is_open() const { return set_open_; }
    bool scan_finished() const;
    const SetBrowser& set_browser() const { return set_; }
    // The paths the scan passed over, with their reasons.
    const std::vector<SkippedPath>& skipped() const { return skipped_; }
    // Shows a series of the set from its first image, with its window.
    void show_series(const SeriesKey& key);
    void About1Click();
    // File > Export image: the view shown, or the whole frame at full resolution, as PNG.
    void Export1Click();
    // Help > Keyboard shortcuts: every key and mouse action, in a box.
    void Shortcuts1Click();
    void sbSaveClick();
    // File > Compare with: a second file chosen, its differences from the one open shown.
    void Compare1Click();
    void compare_with(const QString& path);
    // The header browser: the element row under the table's cursor (-1 for
    // none), folding a sequence or item row, the find field's query.
    int table_element_row() const;
    void fold_row(int element_row, bool fold);
    void find_rows(const QString& query);
    // Enter / F3 (forward) and Shift+F3: the next or previous match selected.
    void step_find(bool forward);
    // The table's selected rows as the report writes them, to the clipboard.
    void copy_table_rows();
    void Exit1Click();
    void Panel2Resize();
    void ImageMouseDown(Qt::MouseButton button, int x, int y);
    void ImageMouseMove(int x, int y);
    void ImageMouseUp();
    // Frame stepping over the picture: the wheel, and Page Down / Page Up /
    // Home / End while the picture has the keyboard focus.
    void ImageWheel(int angle_delta);
    void ImageKeyPress(int key);
    // P over the picture: plays the frames of the open file at its own pace
    // (frame_interval_ms), wrapping after the last, or stops playing.
    void toggle_playback();
    // One step of playing: the next frame, the first after the last.
    void play_step();
    bool playing() const;

    const ViewerState& state() const { return state_; }
    // The frame shown (0-based) and the frames the open file holds.
    int shown_frame() const { return shown_.frame; }
    int frame_count() const { return shown_.frame_count; }
    // False while the picture comes from a reduced-resolution decode (its
    // whole frame being decoded, or failed).
    bool whole_frame_shown() const { return !display_picture_->frame.reduced(); }
    // The element table as the walk stored it (code page 932 bytes, decoded
    // values in UTF-8; see ElementGrid).
    const ElementGrid& grid() const { return listing().grid; }
    // What the walk knows of each element row (grid row i + 1 for row i).
    const std::vector<ElementRow>& element_rows() const { return listing().rows; }
    // The part of the frame the picture shows, at what scale: the whole
    // frame fitted, unless zoomed or panned.
    ViewRect shown_view() const;
    // The frame point under pane point `position` of the picture, and back.
    FramePoint frame_point(QPointF position) const;
    QPointF pane_point(FramePoint point) const;
    // The measurements drawn on the image shown, each from one end to the other.
    struct RulerLine {
        FramePoint from;
        FramePoint to;
    };
    const std::vector<RulerLine>& ruler_lines() const;
    // The length written beside each of them, in the order drawn.
    QStringList ruler_texts() const;

    // Controls, named as the form names them.
    QFrame* Panel1 = nullptr;
    QToolButton* sbOpen = nullptr;
    QToolButton* sbSave = nullptr;
    QToolButton* sbRuler = nullptr; // checked: a left drag over the picture measures a distance
    QToolButton* sbClose = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edFname = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edHsize = nullptr;
    QFrame* Panel2 = nullptr;
    QSplitter* splitPanes = nullptr; // the dump and picture above the table
    QSplitter* splitTop = nullptr;   // the dump left of the picture
    QFrame* Panel4 = nullptr;
    DumpView* Memo = nullptr;
    QFrame* Panel3 = nullptr;
    QLabel* Image = nullptr;
    QLabel* pnWind = nullptr;
    QPlainTextEdit* mmReport = nullptr; // a structured report's content tree
    QWidget* paneTable = nullptr;       // the find field above the table
    QLineEdit* edFind = nullptr;
    QTableView* strGrid = nullptr;
    GridModel* grid_model = nullptr;
    // The set's series pane, left of the single-file layout, and the scan's
    // line in the status bar.
    QSplitter* splitter = nullptr;
    QTreeWidget* tvSeries = nullptr;
    QLabel* lbScan = nullptr;
    // The values under the cursor.
    QLabel* lbValues = nullptr;
    QToolButton* sbCancelScan = nullptr;
    QToolButton* sbSkipped = nullptr;
    QMenu* File1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* OpenFolder1 = nullptr;
    QAction* Pacs1 = nullptr;
    QAction* mSave = nullptr;
    QAction* Export1 = nullptr;
    QAction* Compare1 = nullptr;
    QAction* Find1 = nullptr; // Ctrl+F: the find field above the table
    // The differences from another file: a window of their own with a find field.
    QDialog* fmCompare = nullptr;
    QLineEdit* edCompareFind = nullptr;
    QTableWidget* tblCompare = nullptr;
    PacsDialog* fmPacs = nullptr;
    QAction* N1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Window1 = nullptr;
    QAction* Invert1 = nullptr;
    QAction* Overlays1 = nullptr;
    QAction* N2 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Shortcuts1 = nullptr;
    QAction* About1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A local file dragged over the window is taken; anything else is refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void create_controls();
    void create_toolbar(QWidget* client);
    void create_panes(QWidget* client);
    void create_grid();
    // Rows (and the header) as high as the grid's font needs, so that no
    // descender or underscore is cut.
    void fit_grid_rows();
    void create_menu();
    // Shows the box of the file check, if it has one.
    void show_check_box(const QString& path, FileCheck check, int error);
    // The image step that ends Open: the first frame through the open file's
    // image source, resampled to 256 x 256 and shown, or why it cannot be.
    void load_display_image();
    // A file without pixel data that is a structured report: its content tree in the picture pane.
    void show_structured_report();
    // An Encapsulated PDF file: its pages in the picture pane, paged as frames.
    void show_encapsulated_pdf();
    void show_pdf_page(int page);
    const HeaderListing& listing() const { return opened_ ? opened_->listing() : no_listing_; }
    // Maps the display picture through the window and shows it in Image.
    void render_display();
    // Shows the picture last rendered with the image's measurements over it.
    void show_picture();
    // The status bar's values at pane point `position`; none off the picture.
    void show_readout(std::optional<QPointF> position);
    const ViewAttributes& view_attributes() const;
    // The ruler: a line from the press to the release; Esc clears the image's lines.
    void start_ruler(QPointF position);
    void move_ruler(QPointF position);
    void end_ruler();
    void clear_rulers();
    // The image shown: its file and frame.
    std::pair<std::string, int> shown_image() const;
    // Shows the whole-resolution frame of a picture shown reduced, waiting
    // for its decode when `wait`; nothing when there is none (yet).
    void take_full_frame(bool wait);
    // Shows a black picture: no file's picture stays beside another's header.
    // A non-empty text is written across it.
    void clear_display(const QString& text = QString());
    // Shows frame `index` of the open file, keeping the window.
    void step_to_frame(int index);
    void show_frame_title();
    // A new picture (file, frame or image of a set): the pane's samples go,
    // and a VOI LUT the new frame lacks gives way to the window.
    void picture_changed();
    // The VOI an Open applies: the file's first window or VOI LUT, else the window kept.
    void apply_open_voi(const FrameInfo& info);
    // The Window menu (and the picture's right-click menu) for the picture shown.
    void fill_window_menu();
    void choose_window(const VoiSetting& setting);
    // Zoom (factor about pane point x, y; 1/8 to 32 x), pan by a mouse move,
    // back to the whole frame (F), one image pixel a screen pixel (1).
    void zoom_picture(double factor, double x, double y);
    void pan_picture(double dx, double dy);
    void fit_picture();
    void actual_size_picture();
    // The set: the scan's results taken in, the pane rebuilt, the image of
    // the step shown (with the series' window when `opening`).
    void poll_scan();
    void take_scanned(bool all);
    void fill_series_pane();
    void show_scan_line();
    void show_skipped();
    void series_item_chosen(QTreeWidgetItem* item);
    void step_in_set(int step);
    void show_set_image(bool opening);
    void close_set();
    void size_for_set(bool set_open);
    void show_listing();
    // The header browser over the listing shown: folds, find, the byte link.
    void create_browse();
    void browse_new_listing();
    void show_table_rows();
    void select_element_row(int element_row);
    void table_row_chosen(int element_row);
    void dump_byte_clicked(int64_t offset);
    void table_menu(QPoint position);
    bool table_key(QKeyEvent* key);
    // The table's, its viewport's and the find field's events; true when taken.
    bool browse_event(QObject* watched, QEvent* event);
    // What the PACS dialog sends: the open series' files or the open file.
    std::vector<std::string> files_to_send(bool series) const;
    void show_differences(const std::vector<HeaderDifference>& differences);
    void filter_differences(const QString& query);
    int message(const char* text, const char* caption, QMessageBox::Icon icon,
                QMessageBox::StandardButtons buttons);

    std::unique_ptr<Dialogs> own_dialogs_;
    Dialogs* dialogs_ = nullptr;
    ViewerState state_;
    // The file shown: its listing and its image source, kept open for the
    // frame steps.
    std::unique_ptr<OpenedFile> opened_;
    const HeaderListing no_listing_;
    DisplayInfo display_info_;
    QImage display_bitmap_;
    std::unique_ptr<DisplayPicture> display_picture_ = std::make_unique<DisplayPicture>();
    // The whole-resolution decode of the frame an Open shows reduced.
    std::unique_ptr<FullFrame> full_frame_;
    DisplayBitmap display_pixels_;
    // The name of the open file (no folders), for the title.
    QString file_name_;
    // The frame shown and the frames of the file.
    struct ShownImage {
        int frame = 0;
        int frame_count = 1;
    } shown_;
    // The set open, its scan and what it passed over, the images read ahead.
    bool set_open_ = false;
    unsigned sets_opened_ = 0;   // counts open_set calls, so a set can be told from a later one
    unsigned retrieved_set_ = 0; // the set the running retrieve opened (a value of sets_opened_)
    SetBrowser set_;
    std::unique_ptr<FolderScan> scan_;
    std::vector<ScannedFile> pending_; // read, not yet grouped
    QElapsedTimer scan_clock_;
    qint64 last_grouping_ms_ = 0; // how long the last grouping took
    qint64 last_grouped_at_ = 0;  // when (ms since the scan started)
    std::vector<SkippedPath> skipped_;
    std::vector<std::string> waiting_paths_; // added to the set, for the next scan
    std::unique_ptr<ReadAhead> read_ahead_;
    QTimer* scan_timer_ = nullptr;
    // Steps the frames while they play; stopped when another file opens.
    QTimer* play_timer_ = nullptr;
    int step_direction_ = 1;
    // What the picture is rendered with besides the window level and width:
    // a VOI LUT or the window's function, Invert, Overlays; and the frame's
    // samples resampled at the pane's size when it is not the form's.
    VoiSetting voi_;
    bool invert_ = false;
    bool overlays_shown_ = true;
    ViewSamples pane_view_;
    QSize pane_view_size_;
    ViewRect pane_view_rect_;
    std::optional<ViewRect> zoom_; // none: the whole frame fitted
    bool panning_ = false;
    bool space_held_ = false; // Space + left drag pans
    QPointF pan_from_;
    DragLimits drag_limits_;
    int drag_start_x_ = 0;
    int drag_start_y_ = 0;
    WindowSetting drag_{};
    // The picture as rendered, before the measurements are drawn over it.
    QImage rendered_;
    // The header's attributes for readout and distances, read once per file.
    mutable std::string attributes_path_;
    mutable ViewAttributes attributes_;
    // Measurements by image; the line being drawn.
    std::map<std::pair<std::string, int>, std::vector<RulerLine>> rulers_;
    std::optional<RulerLine> ruler_drag_;
    // The table's folds and find over the listing shown (rebuilt at each Open).
    std::unique_ptr<FoldState> folds_;
    std::unique_ptr<RowFinder> finder_;
    std::vector<int32_t> find_matches_;
    // The open file's PDF, when it is an Encapsulated PDF.
    std::unique_ptr<QPdfDocument> pdf_;
};

// Makes "ＭＳ Ｐゴシック" resolve to IPAPGothic and "Terminal" to a monospace
// font. Safe to call more than once.
void install_font_substitutes();
