#include "pacs/dimse_archive.h"

#include <map>
#include <utility>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcmetinf.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dcmtk/dcmnet/dimse.h"
#include "dcmtk/dcmnet/diutil.h"
#include "pacs/dimse_association.h"
#include "pacs/dimse_retrieve.h"

namespace {

// Contexts per association when sending; each distinct SOP class and
// transfer syntax of the files takes one.
constexpr std::size_t most_send_contexts = 100;

std::string text_of(DcmItem& item, const DcmTagKey& tag)
{
    OFString value;
    if (item.findAndGetOFStringArray(tag, value).bad()) return {};
    return value.c_str();
}

// The responses of one C-FIND, read into rows by `read`.
using ReadRow = void (*)(DcmDataset&, void* rows);

struct FindCall {
    ReadRow read;
    void* rows;
};

void on_find_response(void* data, T_DIMSE_C_FindRQ*, int, T_DIMSE_C_FindRSP*, DcmDataset* identifier)
{
    if (!identifier) return;
    auto* call = static_cast<FindCall*>(data);
    // Names and descriptions come back in the archive's character set; rows hold UTF-8.
    if (identifier->tagExists(DCM_SpecificCharacterSet)) identifier->convertToUTF8();
    call->read(*identifier, call->rows);
}

// An answer's attribute as text, for the rows.
AnswerText answer_text(DcmDataset& identifier)
{
    return [&identifier](uint32_t tag) {
        return text_of(identifier,
                       DcmTagKey(static_cast<uint16_t>(tag >> 16), static_cast<uint16_t>(tag & 0xFFFF)));
    };
}

void read_study(DcmDataset& identifier, void* rows)
{
    static_cast<std::vector<StudyRow>*>(rows)->push_back(study_row(answer_text(identifier)));
}

void read_series(DcmDataset& identifier, void* rows)
{
    static_cast<std::vector<SeriesRow>*>(rows)->push_back(series_row(answer_text(identifier)));
}

// One file to send, as its meta group and data set say.
struct Outgoing {
    std::string path;
    std::string sop_class;
    std::string transfer_syntax;
};

bool is_uncompressed(const std::string& syntax)
{
    const DcmXfer xfer(syntax.c_str());
    return !xfer.isEncapsulated() && xfer.getStreamCompression() == ESC_none;
}

// What may be offered for a file: its own transfer syntax, and for an
// uncompressed one the other uncompressed ones DCMTK can write it in.
std::vector<std::string> offered_syntaxes(const std::string& syntax)
{
    std::vector<std::string> syntaxes{syntax};
    if (is_uncompressed(syntax))
        for (const char* other : {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax})
            if (syntax != other) syntaxes.emplace_back(other);
    return syntaxes;
}

class DimseArchive : public Archive {
public:
    explicit DimseArchive(const Server& server) : server_(server), label_(server_label(server)) {}

    ArchiveResult echo() override
    {
        DimseAssociation association(server_);
        std::string error;
        if (!association.open({{UID_VerificationSOPClass, {UID_LittleEndianImplicitTransferSyntax}, false}},
                              error))
            return failure(error);
        if (association.context_id(UID_VerificationSOPClass) == 0) return failure("C-ECHO not accepted");
        DIC_US status = 0;
        DcmDataset* detail = nullptr;
        const OFCondition condition = DIMSE_echoUser(association.get(), association.next_message_id(),
                                                     DIMSE_NONBLOCKING, association.timeout(), &status, &detail);
        delete detail;
        if (condition.bad()) {
            association.mark_broken();
            return failure("C-ECHO: " + dimse_condition_text(condition, association.timeout()));
        }
        if (status != STATUS_Success) return failure("C-ECHO: " + dimse_status_text(status, DU_cechoStatusString));
        return {};
    }

    ArchiveResult query_studies(const StudyQuery& query, std::vector<StudyRow>& studies) override
    {
        DcmDataset keys;
        keys.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
        keys.putAndInsertString(DCM_StudyInstanceUID, "");
        keys.putAndInsertString(DCM_PatientName, query.patient_name.c_str());
        keys.putAndInsertString(DCM_PatientID, query.patient_id.c_str());
        keys.putAndInsertString(DCM_StudyDate, date_range(query).c_str());
        keys.putAndInsertString(DCM_StudyTime, "");
        keys.putAndInsertString(DCM_StudyDescription, "");
        keys.putAndInsertString(DCM_AccessionNumber, query.accession_number.c_str());
        keys.putAndInsertString(DCM_ModalitiesInStudy, query.modality.c_str());
        keys.putAndInsertString(DCM_NumberOfStudyRelatedSeries, "");
        keys.putAndInsertString(DCM_NumberOfStudyRelatedInstances, "");
        studies.clear();
        return find(keys, {read_study, &studies});
    }

    ArchiveResult query_series(const std::string& study_uid, std::vector<SeriesRow>& series) override
    {
        DcmDataset keys;
        keys.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
        keys.putAndInsertString(DCM_StudyInstanceUID, study_uid.c_str());
        keys.putAndInsertString(DCM_SeriesInstanceUID, "");
        keys.putAndInsertString(DCM_Modality, "");
        keys.putAndInsertString(DCM_SeriesNumber, "");
        keys.putAndInsertString(DCM_SeriesDescription, "");
        keys.putAndInsertString(DCM_NumberOfSeriesRelatedInstances, "");
        series.clear();
        return find(keys, {read_series, &series});
    }

    ArchiveResult retrieve(const std::string& study_uid, const std::string& series_uid,
                           const RetrieveTarget& target) override
    {
        InstanceFolder folder(target.folder);
        std::string error;
        DimseRetrieveOutcome outcome = DimseRetrieveOutcome::lacks_get;
        if (!server_.prefer_move) outcome = dimse_get(server_, study_uid, series_uid, target, folder, error);
        if (outcome == DimseRetrieveOutcome::lacks_get) {
            if (!server_.prefer_move && server_.move_port == 0)
                return failure(error + "; retrieving by C-MOVE instead needs the move port the archive sends to");
            folder.discard();
            outcome = dimse_move(server_, study_uid, series_uid, target, folder, error);
        }
        if (outcome == DimseRetrieveOutcome::done) {
            folder.finish();
            return {};
        }
        folder.discard();
        return failure(outcome == DimseRetrieveOutcome::cancelled ? "cancelled" : error);
    }

    ArchiveResult send(const std::vector<std::string>& paths) override
    {
        std::vector<Outgoing> files;
        for (const std::string& path : paths) {
            DcmFileFormat file;
            // Large values stay in the file: only the UIDs are wanted here.
            if (file.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 1024).bad())
                return failure(path + ": not a DICOM file");
            DcmDataset& dataset = *file.getDataset();
            Outgoing outgoing{path, text_of(dataset, DCM_SOPClassUID),
                              DcmXfer(dataset.getOriginalXfer()).getXferID()};
            if (outgoing.sop_class.empty())
                outgoing.sop_class = text_of(*file.getMetaInfo(), DCM_MediaStorageSOPClassUID);
            if (outgoing.sop_class.empty() || text_of(dataset, DCM_SOPInstanceUID).empty())
                return failure(path + ": no SOP Class UID or SOP Instance UID");
            if (outgoing.transfer_syntax.empty()) return failure(path + ": the encoding is not known");
            files.push_back(std::move(outgoing));
        }
        // One association per run of files whose contexts fit into it.
        std::size_t start = 0;
        while (start < files.size()) {
            std::map<std::pair<std::string, std::string>, bool> pairs;
            std::size_t end = start;
            while (end < files.size() && (pairs.size() < most_send_contexts ||
                                          pairs.count({files[end].sop_class, files[end].transfer_syntax}))) {
                pairs[{files[end].sop_class, files[end].transfer_syntax}] = true;
                ++end;
            }
            std::vector<DimseContext> contexts;
            for (const auto& [key, unused] : pairs)
                contexts.push_back({key.first, offered_syntaxes(key.second), false});
            if (ArchiveResult sent = send_run(files, start, end, contexts); !sent.ok) return sent;
            start = end;
        }
        return {};
    }

private:
    ArchiveResult failure(const std::string& what) const { return ArchiveResult::failure(label_ + ": " + what); }

    ArchiveResult find(DcmDataset& keys, FindCall call)
    {
        DimseAssociation association(server_);
        std::string error;
        if (!association.open({{UID_FINDStudyRootQueryRetrieveInformationModel,
                                {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax},
                                false}},
                              error))
            return failure(error);
        const unsigned char context = association.context_id(UID_FINDStudyRootQueryRetrieveInformationModel);
        if (context == 0) return failure("the archive does not offer Study Root C-FIND");
        T_DIMSE_C_FindRQ request{};
        request.MessageID = association.next_message_id();
        OFStandard::strlcpy(request.AffectedSOPClassUID, UID_FINDStudyRootQueryRetrieveInformationModel,
                            sizeof request.AffectedSOPClassUID);
        request.Priority = DIMSE_PRIORITY_MEDIUM;
        request.DataSetType = DIMSE_DATASET_PRESENT;
        int responses = 0;
        T_DIMSE_C_FindRSP response{};
        DcmDataset* detail = nullptr;
        const OFCondition condition =
            DIMSE_findUser(association.get(), context, &request, &keys, responses, on_find_response, &call,
                           DIMSE_NONBLOCKING, association.timeout(), &response, &detail);
        delete detail;
        if (condition.bad()) {
            association.mark_broken();
            return failure("C-FIND: " + dimse_condition_text(condition, association.timeout()));
        }
        if (response.DimseStatus != STATUS_Success)
            return failure("C-FIND: " + dimse_status_text(response.DimseStatus, DU_cfindStatusString));
        return {};
    }

    ArchiveResult send_run(const std::vector<Outgoing>& files, std::size_t start, std::size_t end,
                           const std::vector<DimseContext>& contexts)
    {
        DimseAssociation association(server_);
        std::string error;
        if (!association.open(contexts, error)) return failure(error);
        std::size_t refused = 0;
        std::string first_refusal;
        for (std::size_t i = start; i < end; ++i) {
            std::string why;
            const Stored stored = send_file(association, files[i], why);
            if (stored == Stored::broken) return failure(files[i].path + ": " + why);
            if (stored == Stored::refused && refused++ == 0) first_refusal = files[i].path + ": " + why;
        }
        if (refused == 0) return {};
        if (refused == 1) return failure(first_refusal);
        return failure(std::to_string(refused) + " files not stored; the first, " + first_refusal);
    }

    enum class Stored { yes, refused, broken };

    // Refused: the archive said no to this file (or takes none of its
    // encodings), the next one may go. Broken: the association is lost.
    Stored send_file(DimseAssociation& association, const Outgoing& file, std::string& why)
    {
        unsigned char context = association.context_id(file.sop_class, file.transfer_syntax);
        const std::string accepted = association.transfer_syntax(context);
        if (context == 0 || (accepted != file.transfer_syntax &&
                             !(is_uncompressed(file.transfer_syntax) && is_uncompressed(accepted)))) {
            why = std::string("the archive does not accept ") +
                  dcmFindNameOfUID(file.sop_class.c_str(), file.sop_class.c_str()) + " in " +
                  DcmXfer(file.transfer_syntax.c_str()).getXferName() + " (files are sent as they are encoded)";
            return Stored::refused;
        }
        DcmFileFormat loaded;
        if (loaded.loadFile(file.path.c_str()).bad()) {
            why = "cannot read the file";
            return Stored::refused;
        }
        T_DIMSE_C_StoreRQ request{};
        request.MessageID = association.next_message_id();
        OFStandard::strlcpy(request.AffectedSOPClassUID, file.sop_class.c_str(),
                            sizeof request.AffectedSOPClassUID);
        OFStandard::strlcpy(request.AffectedSOPInstanceUID,
                            text_of(*loaded.getDataset(), DCM_SOPInstanceUID).c_str(),
                            sizeof request.AffectedSOPInstanceUID);
        request.DataSetType = DIMSE_DATASET_PRESENT;
        request.Priority = DIMSE_PRIORITY_MEDIUM;
        T_DIMSE_C_StoreRSP response{};
        DcmDataset* detail = nullptr;
        const OFCondition condition =
            DIMSE_storeUser(association.get(), context, &request, nullptr, loaded.getDataset(), nullptr, nullptr,
                            DIMSE_NONBLOCKING, association.timeout(), &response, &detail);
        delete detail;
        if (condition.bad()) {
            association.mark_broken();
            why = "C-STORE: " + dimse_condition_text(condition, association.timeout());
            return Stored::broken;
        }
        if (response.DimseStatus != STATUS_Success && !DICOM_WARNING_STATUS(response.DimseStatus)) {
            why = "C-STORE: " + dimse_status_text(response.DimseStatus, DU_cstoreStatusString);
            return Stored::refused;
        }
        return Stored::yes;
    }

    Server server_;
    std::string label_;
};

} // namespace

std::unique_ptr<Archive> make_dimse_archive(const Server& server)
{
    return std::make_unique<DimseArchive>(server);
}
