#include "pacs/dimse_archive.h"

namespace {

class Unavailable : public Archive {
public:
    explicit Unavailable(const Server& server) : label_(server_label(server)) {}
    ArchiveResult echo() override { return failed(); }
    ArchiveResult query_studies(const StudyQuery&, std::vector<StudyRow>&) override { return failed(); }
    ArchiveResult query_series(const std::string&, std::vector<SeriesRow>&) override { return failed(); }
    ArchiveResult retrieve(const std::string&, const std::string&, const RetrieveTarget&) override
    {
        return failed();
    }
    ArchiveResult send(const std::vector<std::string>&) override { return failed(); }

private:
    ArchiveResult failed() const { return ArchiveResult::failure(label_ + ": not available in this build"); }
    std::string label_;
};

} // namespace

std::unique_ptr<Archive> make_dimse_archive(const Server& server) { return std::make_unique<Unavailable>(server); }
