#include "pacs/dimse_retrieve.h"

#include <chrono>
#include <thread>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/dimse.h"
#include "dcmtk/dcmnet/diutil.h"
#include "pacs/dimse_association.h"
#include "pacs/dimse_storage.h"
#include "pacs/dimse_store_service.h"

namespace {

constexpr std::size_t most_contexts = 128;

std::vector<std::string> uncompressed()
{
    return {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax};
}

// The Study Root identifier of a study, or of one of its series.
DcmDataset identifier(const std::string& study_uid, const std::string& series_uid)
{
    DcmDataset keys;
    keys.putAndInsertString(DCM_QueryRetrieveLevel, series_uid.empty() ? "STUDY" : "SERIES");
    keys.putAndInsertString(DCM_StudyInstanceUID, study_uid.c_str());
    if (!series_uid.empty()) keys.putAndInsertString(DCM_SeriesInstanceUID, series_uid.c_str());
    return keys;
}

// What a C-GET or C-MOVE response says of its sub-operations (both
// responses are laid out alike).
struct SubOperations {
    int remaining = -1;
    int completed = 0;
    int failed = 0;
    int warning = 0;

    template <typename Response>
    static SubOperations of(const Response& response, unsigned remaining_flag)
    {
        SubOperations counts;
        if (response.opts & remaining_flag) counts.remaining = response.NumberOfRemainingSubOperations;
        counts.completed = response.NumberOfCompletedSubOperations;
        counts.failed = response.NumberOfFailedSubOperations;
        counts.warning = response.NumberOfWarningSubOperations;
        return counts;
    }
    int expected() const { return remaining < 0 ? -1 : remaining + completed + failed + warning; }
};

// A response that carries an identifier (the failed instances' UIDs) must
// have it read off the association before the next command.
bool skip_identifier(DimseAssociation& association, T_DIMSE_DataSetType type, std::string& error)
{
    if (type == DIMSE_DATASET_NULL) return true;
    T_ASC_PresentationContextID id = 0;
    DcmDataset* ignored = nullptr;
    const OFCondition condition = DIMSE_receiveDataSetInMemory(
        association.get(), DIMSE_NONBLOCKING, association.timeout(), &id, &ignored, nullptr, nullptr);
    delete ignored;
    if (condition.good()) return true;
    error = dimse_condition_text(condition, association.timeout());
    association.mark_broken();
    return false;
}

std::string final_status_text(const char* operation, uint16_t status, const SubOperations& counts,
                              const char* (*describe)(uint16_t))
{
    std::string text = std::string(operation) + " ended with " + dimse_status_text(status, describe);
    if (counts.failed > 0)
        text += ": " + std::to_string(counts.failed) + " of " +
                std::to_string(counts.failed + counts.completed + counts.warning) + " instances failed";
    return text;
}

bool send_request(DimseAssociation& association, unsigned char context, T_DIMSE_Message& message, DcmDataset& keys,
                  std::string& error)
{
    const OFCondition condition =
        DIMSE_sendMessageUsingMemoryData(association.get(), context, &message, nullptr, &keys, nullptr, nullptr);
    if (condition.good()) return true;
    error = "cannot send the request: " + dimse_condition_text(condition, association.timeout());
    association.mark_broken();
    return false;
}

// Where a C-MOVE stands, shared by the thread that waits on the C-MOVE's
// responses and the calling thread that receives the instances.
struct MoveState {
    std::atomic<bool> stop{false}; // set by the receiving side: cancel the C-MOVE
    std::atomic<int> expected{-1};
    std::atomic<bool> done{false};
    // Written before `done`, read after it.
    DimseRetrieveOutcome outcome = DimseRetrieveOutcome::failed;
    int completed = 0;
    std::string error;
};

void run_move(const Server& server, DcmDataset keys, MoveState& state)
{
    DimseAssociation association(server);
    auto finish = [&state](DimseRetrieveOutcome outcome, std::string error = {}) {
        state.outcome = outcome;
        state.error = std::move(error);
        state.done = true;
    };
    std::string error;
    if (!association.open({{UID_MOVEStudyRootQueryRetrieveInformationModel, uncompressed(), false}}, error))
        return finish(DimseRetrieveOutcome::failed, error);
    const unsigned char context = association.context_id(UID_MOVEStudyRootQueryRetrieveInformationModel);
    if (context == 0) return finish(DimseRetrieveOutcome::failed, "the archive offers neither C-GET nor C-MOVE");
    T_DIMSE_Message request{};
    request.CommandField = DIMSE_C_MOVE_RQ;
    T_DIMSE_C_MoveRQ& move = request.msg.CMoveRQ;
    move.MessageID = association.next_message_id();
    OFStandard::strlcpy(move.AffectedSOPClassUID, UID_MOVEStudyRootQueryRetrieveInformationModel,
                        sizeof move.AffectedSOPClassUID);
    OFStandard::strlcpy(move.MoveDestination, server.calling_ae.c_str(), sizeof move.MoveDestination);
    move.Priority = DIMSE_PRIORITY_MEDIUM;
    move.DataSetType = DIMSE_DATASET_PRESENT;
    if (!send_request(association, context, request, keys, error))
        return finish(DimseRetrieveOutcome::failed, error);
    bool cancel_sent = false;
    for (;;) {
        T_DIMSE_Message response{};
        unsigned char response_context = 0;
        bool cancelled = false;
        if (!association.receive_command(response, response_context, nullptr, cancel_sent ? nullptr : &state.stop,
                                         cancelled, error)) {
            if (!cancelled) return finish(DimseRetrieveOutcome::failed, error);
            DIMSE_sendCancelRequest(association.get(), context, move.MessageID);
            cancel_sent = true;
            continue;
        }
        if (response.CommandField != DIMSE_C_MOVE_RSP) {
            association.mark_broken();
            return finish(DimseRetrieveOutcome::failed, "the archive answered the C-MOVE with another command");
        }
        const T_DIMSE_C_MoveRSP& answer = response.msg.CMoveRSP;
        if (!skip_identifier(association, answer.DataSetType, error))
            return finish(DimseRetrieveOutcome::failed, error);
        const SubOperations counts = SubOperations::of(answer, O_MOVE_NUMBEROFREMAININGSUBOPERATIONS);
        state.expected = counts.expected();
        if (DICOM_PENDING_STATUS(answer.DimseStatus)) continue;
        state.completed = counts.completed + counts.warning;
        if (cancel_sent) return finish(DimseRetrieveOutcome::cancelled);
        if (answer.DimseStatus == STATUS_Success) return finish(DimseRetrieveOutcome::done);
        return finish(DimseRetrieveOutcome::failed,
                      final_status_text("C-MOVE", answer.DimseStatus, counts, DU_cmoveStatusString));
    }
}

} // namespace

DimseRetrieveOutcome dimse_get(const Server& server, const std::string& study_uid, const std::string& series_uid,
                               const RetrieveTarget& target, InstanceFolder& folder, std::string& error)
{
    DimseAssociation association(server);
    std::vector<DimseContext> contexts{{UID_GETStudyRootQueryRetrieveInformationModel, uncompressed(), false}};
    for (DimseContext& storage : dimse_storage_contexts(most_contexts - 1))
        contexts.push_back(std::move(storage));
    if (!association.open(contexts, error)) return DimseRetrieveOutcome::failed;
    const unsigned char context = association.context_id(UID_GETStudyRootQueryRetrieveInformationModel);
    if (context == 0) {
        error = "the archive does not offer C-GET";
        return DimseRetrieveOutcome::lacks_get;
    }
    T_DIMSE_Message request{};
    request.CommandField = DIMSE_C_GET_RQ;
    T_DIMSE_C_GetRQ& get = request.msg.CGetRQ;
    get.MessageID = association.next_message_id();
    OFStandard::strlcpy(get.AffectedSOPClassUID, UID_GETStudyRootQueryRetrieveInformationModel,
                        sizeof get.AffectedSOPClassUID);
    get.Priority = DIMSE_PRIORITY_MEDIUM;
    get.DataSetType = DIMSE_DATASET_PRESENT;
    DcmDataset keys = identifier(study_uid, series_uid);
    if (!send_request(association, context, request, keys, error)) return DimseRetrieveOutcome::failed;

    bool cancel_sent = false;
    int arrived = 0;
    int expected = -1;
    std::string refused; // why an instance could not be kept
    bool heard = false;  // the archive answered or sent something
    for (;;) {
        T_DIMSE_Message message{};
        unsigned char message_context = 0;
        bool cancelled = false;
        if (!association.receive_command(message, message_context, nullptr, cancel_sent ? nullptr : target.cancel,
                                         cancelled, error)) {
            if (cancel_sent) return DimseRetrieveOutcome::cancelled;
            if (cancelled) {
                DIMSE_sendCancelRequest(association.get(), context, get.MessageID);
                cancel_sent = true;
                continue;
            }
            // Some archives abort at once a C-GET they do not serve.
            if (heard || !association.peer_aborted()) return DimseRetrieveOutcome::failed;
            error = "the archive aborted the association on the C-GET request";
            return DimseRetrieveOutcome::lacks_get;
        }
        heard = true;
        if (message.CommandField == DIMSE_C_STORE_RQ) {
            std::string path;
            std::string why;
            if (!dimse_receive_instance(association.get(), message_context, message.msg.CStoreRQ,
                                        association.timeout(), folder, path, why)) {
                association.mark_broken();
                error = why;
                return cancel_sent ? DimseRetrieveOutcome::cancelled : DimseRetrieveOutcome::failed;
            }
            if (path.empty()) {
                if (refused.empty()) refused = why;
                continue;
            }
            ++arrived;
            if (target.arrived && !cancel_sent) target.arrived(path, arrived, expected);
            continue;
        }
        if (message.CommandField != DIMSE_C_GET_RSP) {
            association.mark_broken();
            error = "the archive answered the C-GET with another command";
            return DimseRetrieveOutcome::failed;
        }
        const T_DIMSE_C_GetRSP& answer = message.msg.CGetRSP;
        if (!skip_identifier(association, answer.DataSetType, error)) return DimseRetrieveOutcome::failed;
        const SubOperations counts = SubOperations::of(answer, O_GET_NUMBEROFREMAININGSUBOPERATIONS);
        if (counts.expected() >= 0) expected = counts.expected();
        if (DICOM_PENDING_STATUS(answer.DimseStatus)) continue;
        if (cancel_sent) return DimseRetrieveOutcome::cancelled;
        if (!refused.empty()) {
            error = refused;
            return DimseRetrieveOutcome::failed;
        }
        if (answer.DimseStatus == STATUS_Success) return DimseRetrieveOutcome::done;
        error = final_status_text("C-GET", answer.DimseStatus, counts, DU_cgetStatusString);
        const bool before_any = arrived == 0 && counts.completed == 0 && counts.failed == 0 && counts.warning == 0;
        return before_any && !DICOM_WARNING_STATUS(answer.DimseStatus) ? DimseRetrieveOutcome::lacks_get
                                                                       : DimseRetrieveOutcome::failed;
    }
}

DimseRetrieveOutcome dimse_move(const Server& server, const std::string& study_uid, const std::string& series_uid,
                                const RetrieveTarget& target, InstanceFolder& folder, std::string& error)
{
    if (server.move_port == 0) {
        error = "C-MOVE needs the port the archive knows to send to (the move port)";
        return DimseRetrieveOutcome::failed;
    }
    DimseStoreService service(server);
    if (!service.listen(error)) return DimseRetrieveOutcome::failed;

    MoveState state;
    std::thread mover(run_move, std::cref(server), identifier(study_uid, series_uid), std::ref(state));
    int arrived = 0;
    const int timeout = server.timeout_seconds > 0 ? server.timeout_seconds : 30;
    std::chrono::steady_clock::time_point ended{};
    bool late = false;
    // Stop receiving on cancel, once the C-MOVE failed, or once every instance
    // its final response counts has come (or has not come within the timeout).
    const auto stop = [&] {
        if (target.cancel && *target.cancel) return true;
        if (!state.done) return false;
        if (state.outcome != DimseRetrieveOutcome::done || arrived >= state.completed) return true;
        const auto now = std::chrono::steady_clock::now();
        if (ended == std::chrono::steady_clock::time_point{}) ended = now;
        late = now - ended > std::chrono::seconds(timeout);
        return late;
    };
    const auto received = [&](const std::string& path) {
        ++arrived;
        if (target.arrived) target.arrived(path, arrived, state.expected);
    };
    const bool served = service.serve(folder, stop, received, error);
    state.stop = true; // the C-MOVE ends now if it has not
    mover.join();
    if (target.cancel && *target.cancel) return DimseRetrieveOutcome::cancelled;
    if (!served) return DimseRetrieveOutcome::failed;
    if (state.outcome != DimseRetrieveOutcome::done) {
        error = state.error;
        return state.outcome;
    }
    if (late) {
        error = "the archive reported " + std::to_string(state.completed) + " instances sent, " +
                std::to_string(arrived) + " arrived";
        return DimseRetrieveOutcome::failed;
    }
    return DimseRetrieveOutcome::done;
}
