// The window and its archives: File > PACS... opens the dialog; what a
// retrieve brings opens as a set, its first file at once and the rest joining
// as they arrive; a send takes the open file or the open series' files.
#include <QFile>

#include "viewer/pacs_dialog.h"
#include "viewer/tform1.h"

void TForm1::Pacs1Click()
{
    if (fmPacs == nullptr) {
        PacsDialog::Window window;
        window.files_to_send = [this](bool series) { return files_to_send(series); };
        window.file_arrived = [this](const QString& path, bool first) {
            if (first) {
                open_set({path});
                retrieved_set_ = sets_opened_;
            } else if (set_open_ && sets_opened_ == retrieved_set_) {
                add_to_set({path});
            } // else the user has opened something else since: the files stay in the cache
        };
        fmPacs = new PacsDialog(dialogs_, std::move(window), this);
    }
    fmPacs->show();
    fmPacs->raise();
    fmPacs->activateWindow();
}

std::vector<std::string> TForm1::files_to_send(bool series) const
{
    std::vector<std::string> files;
    if (series && set_open_ && set_.series() != nullptr) {
        for (const SeriesFile& file : set_.series()->files) {
            files.push_back(file.path);
        }
    } else if (!series && opened_) {
        files.push_back(opened_->path());
    }
    return files;
}
