// One association with a DIMSE peer, opened with the presentation contexts
// an operation needs and released (or aborted after a failure) when the
// object goes. Waits on the peer are bounded by Server::timeout_seconds.
// The DCMTK types stay in the .cpp files; this header only names them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "pacs/server.h"

struct T_ASC_Network;
struct T_ASC_Association;
struct T_DIMSE_Message;
class OFCondition;
class DcmDataset;

// What to propose: one abstract syntax with the transfer syntaxes offered
// for it. `we_store` proposes that Velmor takes the SCP role (the storage
// sub-operations of a C-GET come to Velmor on the same association).
struct DimseContext {
    std::string abstract_syntax;
    std::vector<std::string> transfer_syntaxes;
    bool we_store = false;
};

// DCMTK's process-wide setup, once: its logger quiet (the messages go to
// the user through ArchiveResult), SIGPIPE ignored, and the data
// dictionary present. False with `error` set when the dictionary is not.
bool dimse_initialize(std::string& error);

// "timed out after 30 s" for the conditions that mean the peer was silent,
// otherwise the condition's innermost text.
std::string dimse_condition_text(const OFCondition& condition, int timeout_seconds);
// "status 0xA801 (Refused: Move Destination Unknown)" with `describe`
// being one of DCMTK's status describers for the service.
std::string dimse_status_text(uint16_t status, const char* (*describe)(uint16_t));

class DimseAssociation {
public:
    explicit DimseAssociation(const Server& server);
    ~DimseAssociation();
    DimseAssociation(const DimseAssociation&) = delete;
    DimseAssociation& operator=(const DimseAssociation&) = delete;

    // Connects and negotiates. False with `error` set: "cannot connect
    // (Connection refused)", "association rejected: called AE title not
    // recognised", "timed out after 30 s".
    bool open(const std::vector<DimseContext>& contexts, std::string& error);

    // The accepted presentation context for the abstract syntax (the one
    // with `transfer_syntax` when given and accepted), 0 when none.
    unsigned char context_id(const std::string& abstract_syntax, const std::string& transfer_syntax = {}) const;
    // The transfer syntax accepted for a context.
    std::string transfer_syntax(unsigned char context_id) const;
    // A new message ID for a request.
    uint16_t next_message_id();

    // Receives the next command, waiting at most the server's timeout in
    // steps of a second so that `cancel` (when set) is noticed: then it
    // returns false with `cancelled` true. On any other failure `error` is
    // set and the association is marked to be aborted.
    bool receive_command(T_DIMSE_Message& message, unsigned char& context, DcmDataset** status_detail,
                         const std::atomic<bool>* cancel, bool& cancelled, std::string& error);
    // Marks the association broken: the destructor aborts it instead of
    // releasing it.
    void mark_broken() { broken_ = true; }
    // The last receive failed because the peer aborted the association.
    bool peer_aborted() const { return peer_aborted_; }

    T_ASC_Association* get() const { return association_; }
    int timeout() const { return timeout_; }

private:
    std::string host_;
    uint16_t port_;
    std::string called_ae_;
    std::string calling_ae_;
    int timeout_;
    T_ASC_Network* network_ = nullptr;
    T_ASC_Association* association_ = nullptr;
    bool broken_ = false;
    bool peer_aborted_ = false;
};
