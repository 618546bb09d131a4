// The files of one retrieve: each instance written under a temporary name,
// then renamed to "<SOP Instance UID>.dcm" once whole, so a reader of the
// folder never sees half a file. Names come from the UID only after it is
// checked to be a valid UID, never from a path a server sent. Until
// `finish`, the retrieve can be undone: `discard` (and the destructor)
// remove every file it wrote.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A valid UID: 1 to 64 characters, components of digits separated by
// single dots, no leading zero in a component of more than one digit.
bool is_valid_uid(std::string_view uid);

// The folder retrieved studies go to: $XDG_CACHE_HOME/velmor/pacs, else
// ~/.cache/velmor/pacs (not created here).
std::string pacs_cache_folder();

class InstanceFolder {
public:
    explicit InstanceFolder(std::string folder);
    ~InstanceFolder();
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;

    // A new file name in the folder to write an instance to, not yet used.
    std::string temporary_path();
    // Renames the written temporary file to its UID's name (replacing an
    // older copy of the same instance). False with `error` set, and the
    // temporary file removed, when the UID is not valid or the rename fails.
    bool keep(const std::string& temporary, std::string_view sop_instance_uid, std::string& final_path,
              std::string& error);
    // Writes `bytes` whole (temporary name, then rename): keep() for bytes in memory.
    bool write(std::string_view bytes, std::string_view sop_instance_uid, std::string& final_path,
               std::string& error);

    // Removes every file this retrieve wrote, temporary or kept, except the
    // copies that replaced one an earlier retrieve left.
    void discard();
    // The retrieve succeeded: its kept files stay, any temporary one goes.
    void finish();

    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::vector<std::string> temporaries_;
    std::vector<std::string> kept_; // new files, which discard() removes
    unsigned next_ = 0;
    bool finished_ = false;
};

// The Media Storage SOP Instance UID (0002,0003) of a DICOM file's bytes,
// padding removed; empty when the bytes hold no file meta group with one.
std::string sop_instance_uid_of(std::string_view file_bytes);
