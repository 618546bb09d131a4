#include "pacs/dimse_association.h"

#include <csignal>
#include <cstdio>
#include <mutex>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdict.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"
#include "dcmtk/oflog/oflog.h"

namespace {

const char* reject_reason(T_ASC_RejectParametersReason reason)
{
    switch (reason) {
    case ASC_REASON_SU_APPCONTEXTNAMENOTSUPPORTED: return "application context not supported";
    case ASC_REASON_SU_CALLINGAETITLENOTRECOGNIZED: return "calling AE title not recognised";
    case ASC_REASON_SU_CALLEDAETITLENOTRECOGNIZED: return "called AE title not recognised";
    case ASC_REASON_SP_ACSE_PROTOCOLVERSIONNOTSUPPORTED: return "protocol version not supported";
    case ASC_REASON_SP_PRES_TEMPORARYCONGESTION: return "temporary congestion";
    case ASC_REASON_SP_PRES_LOCALLIMITEXCEEDED: return "local limit exceeded";
    default: return "no reason given";
    }
}

bool is_silence(const OFCondition& condition)
{
    return condition == DIMSE_NODATAAVAILABLE || condition == DUL_READTIMEOUT;
}

} // namespace

bool dimse_initialize(std::string& error)
{
    static std::once_flag once;
    std::call_once(once, [] {
        OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
        // A peer closing its socket must come back as an error, not end the process.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
        dcmDisableGethostbyaddr.set(OFTrue);
    });
    if (!dcmDataDict.isDictionaryLoaded()) {
        error = "DCMTK's data dictionary is not installed (DCMDICTPATH)";
        return false;
    }
    return true;
}

std::string dimse_condition_text(const OFCondition& condition, int timeout_seconds)
{
    std::string text = condition.text();
    if (is_silence(condition) || text.find("imeout") != std::string::npos)
        return "timed out after " + std::to_string(timeout_seconds) + " s";
    // DCMTK nests conditions one per line, "0006:0317 TCP Initialization Error: ..."; the last says most.
    if (const auto newline = text.rfind('\n'); newline != std::string::npos) text = text.substr(newline + 1);
    const auto start = text.find_first_not_of(' ');
    text = start == std::string::npos ? std::string() : text.substr(start);
    if (text.size() > 10 && text[4] == ':' && text[9] == ' ') text = text.substr(10);
    return text;
}

std::string dimse_status_text(uint16_t status, const char* (*describe)(uint16_t))
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(status));
    return std::string("status ") + hex + " (" + describe(status) + ")";
}

DimseAssociation::DimseAssociation(const Server& server)
    : host_(server.host), port_(server.port), called_ae_(server.called_ae), calling_ae_(server.calling_ae),
      timeout_(server.timeout_seconds > 0 ? server.timeout_seconds : 30)
{
}

DimseAssociation::~DimseAssociation()
{
    if (association_) {
        if (broken_ || ASC_releaseAssociation(association_).bad()) ASC_abortAssociation(association_);
        ASC_destroyAssociation(&association_);
    }
    if (network_) ASC_dropNetwork(&network_);
}

bool DimseAssociation::open(const std::vector<DimseContext>& contexts, std::string& error)
{
    if (!dimse_initialize(error)) return false;
    dcmConnectionTimeout.set(static_cast<Sint32>(timeout_));
    OFCondition condition = ASC_initializeNetwork(NET_REQUESTOR, 0, timeout_, &network_);
    if (condition.bad()) {
        error = "cannot start networking: " + dimse_condition_text(condition, timeout_);
        return false;
    }
    T_ASC_Parameters* parameters = nullptr;
    ASC_createAssociationParameters(&parameters, ASC_DEFAULTMAXPDU);
    ASC_setAPTitles(parameters, calling_ae_.c_str(), called_ae_.c_str(), nullptr);
    const std::string peer = host_ + ":" + std::to_string(port_);
    ASC_setPresentationAddresses(parameters, OFStandard::getHostName().c_str(), peer.c_str());
    T_ASC_PresentationContextID id = 1;
    for (const DimseContext& context : contexts) {
        std::vector<const char*> syntaxes;
        for (const std::string& syntax : context.transfer_syntaxes)
            syntaxes.push_back(syntax.c_str());
        condition = ASC_addPresentationContext(parameters, id, context.abstract_syntax.c_str(), syntaxes.data(),
                                               static_cast<int>(syntaxes.size()),
                                               context.we_store ? ASC_SC_ROLE_SCP : ASC_SC_ROLE_DEFAULT);
        if (condition.bad()) {
            ASC_destroyAssociationParameters(&parameters);
            error = "cannot propose " + context.abstract_syntax + ": " + dimse_condition_text(condition, timeout_);
            return false;
        }
        id = static_cast<T_ASC_PresentationContextID>(id + 2);
    }
    condition =
        ASC_requestAssociation(network_, parameters, &association_, nullptr, nullptr, DUL_NOBLOCK, timeout_);
    if (!association_) ASC_destroyAssociationParameters(&parameters);
    if (condition == DUL_ASSOCIATIONREJECTED) {
        T_ASC_RejectParameters reject{};
        ASC_getRejectParameters(association_->params, &reject);
        error = std::string("association rejected: ") + reject_reason(reject.reason);
        broken_ = true;
        return false;
    }
    if (condition.bad()) {
        const std::string why = dimse_condition_text(condition, timeout_);
        error = why.rfind("timed out", 0) == 0 ? why : "cannot connect (" + why + ")";
        broken_ = true;
        return false;
    }
    return true;
}

unsigned char DimseAssociation::context_id(const std::string& abstract_syntax,
                                           const std::string& transfer_syntax) const
{
    if (!association_) return 0;
    if (transfer_syntax.empty())
        return ASC_findAcceptedPresentationContextID(association_, abstract_syntax.c_str());
    return ASC_findAcceptedPresentationContextID(association_, abstract_syntax.c_str(), transfer_syntax.c_str());
}

std::string DimseAssociation::transfer_syntax(unsigned char context_id) const
{
    T_ASC_PresentationContext context{};
    if (!association_ || ASC_findAcceptedPresentationContext(association_->params, context_id, &context).bad())
        return {};
    return context.acceptedTransferSyntax;
}

uint16_t DimseAssociation::next_message_id() { return association_->nextMsgID++; }

bool DimseAssociation::receive_command(T_DIMSE_Message& message, unsigned char& context,
                                       DcmDataset** status_detail, const std::atomic<bool>* cancel,
                                       bool& cancelled, std::string& error)
{
    cancelled = false;
    for (int waited = 0;; ++waited) {
        if (cancel && *cancel) {
            cancelled = true;
            return false;
        }
        T_ASC_PresentationContextID id = 0;
        const OFCondition condition =
            DIMSE_receiveCommand(association_, DIMSE_NONBLOCKING, 1, &id, &message, status_detail);
        if (condition.good()) {
            context = id;
            return true;
        }
        if (!is_silence(condition) || waited + 1 >= timeout_) {
            error = dimse_condition_text(condition, timeout_);
            peer_aborted_ = condition == DUL_PEERABORTEDASSOCIATION;
            if (peer_aborted_) error = "the server aborted the association";
            broken_ = true;
            return false;
        }
    }
}
