#include "pacs/dimse_store_service.h"

#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"
#include "pacs/dimse_association.h"
#include "pacs/dimse_storage.h"

namespace {

// Takes every storage SOP class and Verification, each in the first of
// Velmor's transfer syntaxes the archive proposed.
void accept_contexts(T_ASC_Association* association)
{
    const std::vector<std::string> syntaxes = dimse_storage_transfer_syntaxes();
    std::vector<const char*> syntax_list;
    for (const std::string& syntax : syntaxes)
        syntax_list.push_back(syntax.c_str());
    const int syntax_count = static_cast<int>(syntax_list.size());
    ASC_acceptContextsWithPreferredTransferSyntaxes(association->params, dcmAllStorageSOPClassUIDs,
                                                    numberOfDcmAllStorageSOPClassUIDs, syntax_list.data(),
                                                    syntax_count);
    const char* verification[] = {UID_VerificationSOPClass};
    ASC_acceptContextsWithPreferredTransferSyntaxes(association->params, verification, 1, syntax_list.data(),
                                                    syntax_count);
}

} // namespace

DimseStoreService::DimseStoreService(const Server& server)
    : port_(server.move_port), timeout_(server.timeout_seconds > 0 ? server.timeout_seconds : 30)
{
}

DimseStoreService::~DimseStoreService()
{
    if (network_) ASC_dropNetwork(&network_);
}

bool DimseStoreService::listen(std::string& error)
{
    if (!dimse_initialize(error)) return false;
    const OFCondition condition = ASC_initializeNetwork(NET_ACCEPTOR, port_, timeout_, &network_);
    if (condition.bad()) {
        error = "cannot listen on port " + std::to_string(port_) + " for the C-MOVE (" +
                dimse_condition_text(condition, timeout_) + ")";
        return false;
    }
    return true;
}

bool DimseStoreService::serve(InstanceFolder& folder, const std::function<bool()>& stop,
                              const std::function<void(const std::string& path)>& received, std::string& error)
{
    while (!stop()) {
        T_ASC_Association* association = nullptr;
        const OFCondition condition = ASC_receiveAssociation(network_, &association, ASC_DEFAULTMAXPDU, nullptr,
                                                             nullptr, OFFalse, DUL_NOBLOCK, 1);
        if (condition.bad()) {
            // Nothing came within the second, or a request that could not be read: listen on.
            if (association) ASC_destroyAssociation(&association);
            continue;
        }
        accept_contexts(association);
        bool served = ASC_acknowledgeAssociation(association).good();
        if (served)
            served = serve_association(association, folder, stop, received, error);
        else
            error = "cannot accept the archive's storage association";
        ASC_dropSCPAssociation(association);
        ASC_destroyAssociation(&association);
        if (!served) return false;
    }
    return true;
}

bool DimseStoreService::serve_association(T_ASC_Association* association, InstanceFolder& folder,
                                          const std::function<bool()>& stop,
                                          const std::function<void(const std::string& path)>& received,
                                          std::string& error)
{
    for (int idle = 0;;) {
        if (stop()) {
            ASC_abortAssociation(association);
            return true;
        }
        T_DIMSE_Message message{};
        T_ASC_PresentationContextID context = 0;
        const OFCondition condition =
            DIMSE_receiveCommand(association, DIMSE_NONBLOCKING, 1, &context, &message, nullptr);
        if (condition == DIMSE_NODATAAVAILABLE) {
            if (++idle < timeout_) continue;
            ASC_abortAssociation(association);
            error = "the archive's storage association " + dimse_condition_text(condition, timeout_);
            return false;
        }
        idle = 0;
        if (condition == DUL_PEERREQUESTEDRELEASE) {
            ASC_acknowledgeRelease(association);
            return true;
        }
        if (condition == DUL_PEERABORTEDASSOCIATION) return true;
        if (condition.bad()) {
            ASC_abortAssociation(association);
            error = "the archive's storage association failed: " + dimse_condition_text(condition, timeout_);
            return false;
        }
        if (message.CommandField == DIMSE_C_ECHO_RQ) {
            DIMSE_sendEchoResponse(association, context, &message.msg.CEchoRQ, STATUS_Success, nullptr);
            continue;
        }
        if (message.CommandField != DIMSE_C_STORE_RQ) {
            ASC_abortAssociation(association);
            error = "the archive sent a command other than C-STORE to the C-MOVE's storage service";
            return false;
        }
        std::string path;
        if (!dimse_receive_instance(association, context, message.msg.CStoreRQ, timeout_, folder, path, error)) {
            ASC_abortAssociation(association);
            return false;
        }
        if (path.empty()) { // answered with a failure status; the archive's C-MOVE then fails
            ASC_abortAssociation(association);
            return false;
        }
        received(path);
    }
}
