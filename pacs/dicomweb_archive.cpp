#include "pacs/dicomweb_archive.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <random>

#include "export/json_reader.h"
#include "export/values.h"
#include "pacs/http_client.h"
#include "pacs/instance_folder.h"
#include "pacs/multipart.h"

namespace {

constexpr const char* accept_json = "Accept: application/dicom+json";
// transfer-syntax=* asks for each file as the archive stores it.
constexpr const char* accept_files = "Accept: multipart/related; type=\"application/dicom\"; transfer-syntax=*";
// The first bytes of a file kept to find its SOP Instance UID in its meta group.
constexpr std::size_t head_size = 65536;

constexpr uint32_t tag_modalities_in_study = 0x00080061;
constexpr uint32_t tag_accession_number = 0x00080050;
constexpr uint32_t tag_study_date = 0x00080020;
constexpr uint32_t tag_modality = 0x00080060;
constexpr uint32_t tag_study_description = 0x00081030;
constexpr uint32_t tag_series_description = 0x0008103E;
constexpr uint32_t tag_failed_sop_sequence = 0x00081198;
constexpr uint32_t tag_referenced_sop_instance = 0x00081155;
constexpr uint32_t tag_failure_reason = 0x00081197;
constexpr uint32_t tag_patient_name = 0x00100010;
constexpr uint32_t tag_patient_id = 0x00100020;
constexpr uint32_t tag_series_number = 0x00200011;
constexpr uint32_t tag_study_series_count = 0x00201206;
constexpr uint32_t tag_study_instance_count = 0x00201208;
constexpr uint32_t tag_series_instance_count = 0x00201209;

const DataElement* find(const DataSet& set, uint32_t tag)
{
    for (const DataElement& element : set.elements)
        if (element.tag == tag) return &element;
    return nullptr;
}

// The element's text values joined by backslashes; a person name's
// alphabetic group.
std::string text_of(const DataSet& set, uint32_t tag)
{
    const DataElement* element = find(set, tag);
    if (element == nullptr) return {};
    if (element->vr == VR_PN) {
        const auto names = person_names(*element, set.charset.get());
        return names.empty() ? std::string() : names.front().alphabetic;
    }
    std::string joined;
    for (const std::string& value : text_values(*element, set.charset.get()))
        joined += (joined.empty() ? "" : "\\") + value;
    return joined;
}

AnswerText answer_text(const DataSet& set)
{
    return [&set](uint32_t tag) { return text_of(set, tag); };
}

void add_parameter(std::string& url, std::string_view name, const std::string& value)
{
    if (value.empty()) return;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += name;
    url += '=';
    url += url_query_value(value);
}

// One retrieve's files: each multipart part streamed into a temporary file,
// kept under its SOP Instance UID once whole.
class RetrieveWriter {
public:
    RetrieveWriter(const RetrieveTarget& target, std::future<int> expected)
        : target_(target), folder_(target.folder), expected_(std::move(expected))
    {
    }

    MultipartSink sink()
    {
        return {[this](std::string& error) { return begin(error); },
                [this](std::string_view bytes, std::string& error) { return write(bytes, error); },
                [this](std::string& error) { return end(error); }};
    }

    int arrived() const { return arrived_; }
    void finish() { folder_.finish(); }
    void discard()
    {
        file_.reset();
        folder_.discard();
    }

private:
    bool begin(std::string& error)
    {
        temporary_ = folder_.temporary_path();
        file_.reset(std::fopen(temporary_.c_str(), "wb"));
        if (!file_) {
            error = "cannot write into " + folder_.folder() + ": " + std::strerror(errno);
            return false;
        }
        head_.clear();
        return true;
    }

    bool write(std::string_view bytes, std::string& error)
    {
        if (target_.cancel != nullptr && target_.cancel->load()) {
            error = "cancelled";
            return false;
        }
        if (head_.size() < head_size) head_.append(bytes.substr(0, head_size - head_.size()));
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
            error = "cannot write " + temporary_ + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }

    bool end(std::string& error)
    {
        const bool closed = std::fclose(file_.release()) == 0;
        if (!closed) {
            error = "cannot write " + temporary_ + ": " + std::strerror(errno);
            return false;
        }
        const std::string uid = sop_instance_uid_of(head_);
        if (uid.empty()) {
            error = "instance " + std::to_string(arrived_ + 1) +
                    " of the answer is no DICOM file with a SOP Instance UID";
            return false;
        }
        std::string path;
        if (!folder_.keep(temporary_, uid, path, error)) return false;
        ++arrived_;
        if (expected_.valid()) expected_count_ = expected_.get();
        if (target_.arrived) target_.arrived(path, arrived_, expected_count_);
        return true;
    }

    struct Close {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const RetrieveTarget& target_;
    InstanceFolder folder_;
    std::future<int> expected_; // asked while the files arrive
    int expected_count_ = -1;
    int arrived_ = 0;
    std::string temporary_;
    std::unique_ptr<std::FILE, Close> file_;
    std::string head_;
};

class DicomwebArchive : public Archive {
public:
    explicit DicomwebArchive(const Server& server) : server_(server), label_(server_label(server)), http_(server)
    {
    }

    ArchiveResult echo() override
    {
        const HttpResult answer =
            http_.get(server_.base_url + "/studies?limit=1", {accept_json}, nullptr, nullptr);
        if (!answer.ok) return failure(answer.message);
        return {};
    }

    ArchiveResult query_studies(const StudyQuery& query, std::vector<StudyRow>& studies) override
    {
        studies.clear();
        std::string url = server_.base_url + "/studies";
        add_parameter(url, "PatientName", query.patient_name);
        add_parameter(url, "PatientID", query.patient_id);
        add_parameter(url, "StudyDate", date_range(query));
        add_parameter(url, "ModalitiesInStudy", query.modality);
        add_parameter(url, "AccessionNumber", query.accession_number);
        add_parameter(url, "fuzzymatching", "false");
        for (uint32_t tag :
             {tag_patient_name, tag_patient_id, tag_study_date, tag_study_description, tag_accession_number,
              tag_modalities_in_study, tag_study_series_count, tag_study_instance_count})
            add_parameter(url, "includefield", tag_hex(tag));
        std::vector<DataSet> answers;
        if (ArchiveResult result = qido(url, answers); !result.ok) return result;
        for (const DataSet& set : answers)
            studies.push_back(study_row(answer_text(set)));
        return {};
    }

    ArchiveResult query_series(const std::string& study_uid, std::vector<SeriesRow>& series) override
    {
        series.clear();
        if (!is_valid_uid(study_uid)) return failure("\"" + study_uid + "\" is no valid Study Instance UID");
        std::string url = server_.base_url + "/studies/" + study_uid + "/series";
        for (uint32_t tag : {tag_modality, tag_series_number, tag_series_description, tag_series_instance_count})
            add_parameter(url, "includefield", tag_hex(tag));
        std::vector<DataSet> answers;
        if (ArchiveResult result = qido(url, answers); !result.ok) return result;
        for (const DataSet& set : answers) {
            SeriesRow row = series_row(answer_text(set));
            row.study_uid = study_uid; // the series answers need not repeat it
            series.push_back(std::move(row));
        }
        return {};
    }

    ArchiveResult retrieve(const std::string& study_uid, const std::string& series_uid,
                           const RetrieveTarget& target) override
    {
        if (!is_valid_uid(study_uid)) return failure("\"" + study_uid + "\" is no valid Study Instance UID");
        if (!series_uid.empty() && !is_valid_uid(series_uid))
            return failure("\"" + series_uid + "\" is no valid Series Instance UID");
        // How many to expect, asked on a connection of its own meanwhile.
        std::future<int> expected = std::async(std::launch::async, [this, study_uid, series_uid, &target] {
            return expected_count(study_uid, series_uid, target.cancel);
        });
        std::string url = server_.base_url + "/studies/" + study_uid;
        if (!series_uid.empty()) url += "/series/" + series_uid;

        RetrieveWriter writer(target, std::move(expected));
        std::unique_ptr<MultipartParser> parser;
        HttpSink sink;
        sink.begin = [&](const std::string& content_type, std::string& error) {
            std::string boundary;
            if (!dicom_multipart_boundary(content_type, boundary, error)) return false;
            parser = std::make_unique<MultipartParser>(boundary, writer.sink());
            return true;
        };
        sink.bytes = [&](std::string_view bytes, std::string& error) {
            if (parser->feed(bytes)) return true;
            error = parser->error();
            return false;
        };
        const HttpResult answer = http_.get(url, {accept_files}, &sink, target.cancel);
        std::string problem;
        if (!answer.ok)
            problem = answer.message;
        else if (target.cancel != nullptr && target.cancel->load())
            problem = "cancelled";
        else if (!parser)
            problem = "the archive answered with no instance";
        else if (!parser->finish())
            problem = parser->error();
        else if (writer.arrived() == 0)
            problem = "the archive answered with no instance";
        if (!problem.empty()) {
            writer.discard();
            return failure("retrieve: " + problem);
        }
        writer.finish();
        return {};
    }

    ArchiveResult send(const std::vector<std::string>& paths) override
    {
        if (paths.empty()) return {};
        std::random_device random;
        char boundary[40];
        std::snprintf(boundary, sizeof boundary, "velmor-%08x%08x%08x", random(), random(), random());
        HttpUpload body;
        std::string error;
        for (const std::string& path : paths) {
            if (!is_dicom_file(path, error)) return failure("send: " + error);
            body.add_text(std::string("--") + boundary + "\r\nContent-Type: application/dicom\r\n\r\n");
            if (!body.add_file(path, error)) return failure("send: " + error);
            body.add_text("\r\n");
        }
        body.add_text(std::string("--") + boundary + "--\r\n");
        const std::vector<std::string> headers = {
            accept_json,
            std::string("Content-Type: multipart/related; type=\"application/dicom\"; boundary=") + boundary};
        const HttpResult answer = http_.post(server_.base_url + "/studies", headers, body, nullptr);
        std::string refused = refused_instances(answer.body);
        if (!answer.ok) return failure("send: " + answer.message + (refused.empty() ? "" : ": " + refused));
        if (answer.status == 202 || !refused.empty())
            return failure("send: the archive refused " + (refused.empty() ? "some instances" : refused));
        return {};
    }

private:
    ArchiveResult failure(const std::string& what) const { return ArchiveResult::failure(label_ + ": " + what); }

    ArchiveResult qido(const std::string& url, std::vector<DataSet>& answers)
    {
        answers.clear();
        const HttpResult answer = http_.get(url, {accept_json}, nullptr, nullptr);
        if (!answer.ok) return failure("query: " + answer.message);
        if (answer.status == 204 || answer.body.find_first_not_of(" \t\r\n") == std::string::npos) return {};
        std::string error;
        if (!read_json(answer.body, answers, error))
            return failure("query: the answer is no DICOM JSON (" + error + ")");
        return {};
    }

    // How many instances a retrieve brings, from one QIDO-RS query; -1 when
    // the archive does not say. Runs on a thread of its own, so with its own
    // connection.
    int expected_count(const std::string& study_uid, const std::string& series_uid,
                       const std::atomic<bool>* cancel) const
    {
        HttpClient http(server_);
        std::string url = server_.base_url + "/studies";
        if (!series_uid.empty()) url += "/" + study_uid + "/series";
        add_parameter(url, series_uid.empty() ? "StudyInstanceUID" : "SeriesInstanceUID",
                      series_uid.empty() ? study_uid : series_uid);
        const uint32_t count_tag = series_uid.empty() ? tag_study_instance_count : tag_series_instance_count;
        add_parameter(url, "includefield", tag_hex(count_tag));
        const HttpResult answer = http.get(url, {accept_json}, nullptr, cancel);
        std::vector<DataSet> answers;
        std::string error;
        if (!answer.ok || !read_json(answer.body, answers, error) || answers.size() != 1) return -1;
        const AnswerText text = answer_text(answers.front());
        return series_uid.empty() ? study_row(text).instance_count : series_row(text).instance_count;
    }

    static bool is_dicom_file(const std::string& path, std::string& error)
    {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        char head[132];
        const bool dicom =
            std::fread(head, 1, sizeof head, file) == sizeof head && std::memcmp(head + 128, "DICM", 4) == 0;
        std::fclose(file);
        if (!dicom) error = path + " is no DICOM file (no \"DICM\" after its 128-byte preamble)";
        return dicom;
    }

    // The instances a STOW-RS answer lists as failed, with their reasons.
    static std::string refused_instances(const std::string& body)
    {
        std::vector<DataSet> answers;
        std::string error;
        if (body.empty() || !read_json(body, answers, error) || answers.empty()) return {};
        const DataElement* failed = find(answers.front(), tag_failed_sop_sequence);
        if (failed == nullptr || failed->items.empty()) return {};
        std::string list;
        for (const DataSet& item : failed->items) {
            if (!list.empty()) list += ", ";
            const std::string uid = text_of(item, tag_referenced_sop_instance);
            list += uid.empty() ? "an instance" : uid;
            if (const DataElement* reason = find(item, tag_failure_reason)) {
                const auto numbers = binary_numbers(*reason);
                unsigned code = 0;
                if (!numbers.empty() &&
                    std::from_chars(numbers.front().data(), numbers.front().data() + numbers.front().size(), code)
                            .ec == std::errc()) {
                    char hex[16];
                    std::snprintf(hex, sizeof hex, "%04X", code);
                    list += std::string(" (reason ") + hex + ")";
                }
            }
        }
        return std::to_string(failed->items.size()) +
               (failed->items.size() == 1 ? " instance: " : " instances: ") + list;
    }

    Server server_;
    std::string label_;
    HttpClient http_;
};

} // namespace

std::unique_ptr<Archive> make_dicomweb_archive(const Server& server)
{
    return std::make_unique<DicomwebArchive>(server);
}
