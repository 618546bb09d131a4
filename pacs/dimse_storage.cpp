#include "pacs/dimse_storage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcostrmf.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"

namespace {

constexpr uint16_t out_of_resources = 0xA700;
constexpr uint16_t cannot_understand = 0xC000;

bool answer(T_ASC_Association* association, unsigned char context, const T_DIMSE_C_StoreRQ& request,
            uint16_t status)
{
    T_DIMSE_Message message{};
    message.CommandField = DIMSE_C_STORE_RSP;
    T_DIMSE_C_StoreRSP& response = message.msg.CStoreRSP;
    response.MessageIDBeingRespondedTo = request.MessageID;
    response.DimseStatus = status;
    response.DataSetType = DIMSE_DATASET_NULL;
    OFStandard::strlcpy(response.AffectedSOPClassUID, request.AffectedSOPClassUID,
                        sizeof response.AffectedSOPClassUID);
    OFStandard::strlcpy(response.AffectedSOPInstanceUID, request.AffectedSOPInstanceUID,
                        sizeof response.AffectedSOPInstanceUID);
    response.opts = O_STORE_AFFECTEDSOPCLASSUID | O_STORE_AFFECTEDSOPINSTANCEUID;
    if (request.opts & O_STORE_RQ_BLANK_PADDING) response.opts |= O_STORE_PEER_REQUIRES_EXACT_UID_COPY;
    return DIMSE_sendMessageUsingMemoryData(association, context, &message, nullptr, nullptr, nullptr, nullptr)
        .good();
}

} // namespace

std::vector<std::string> dimse_storage_transfer_syntaxes()
{
    return {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax,
            UID_BigEndianExplicitTransferSyntax,    UID_DeflatedExplicitVRLittleEndianTransferSyntax,
            UID_JPEGProcess1TransferSyntax,         UID_JPEGProcess2_4TransferSyntax,
            UID_JPEGProcess14TransferSyntax,        UID_JPEGProcess14SV1TransferSyntax,
            UID_JPEGLSLosslessTransferSyntax,       UID_JPEGLSLossyTransferSyntax,
            UID_JPEG2000LosslessOnlyTransferSyntax, UID_JPEG2000TransferSyntax,
            UID_RLELosslessTransferSyntax};
}

std::vector<DimseContext> dimse_storage_contexts(std::size_t most)
{
    // An archive takes one transfer syntax per context and converts what it
    // holds into it, when it can. So the common storage classes get an
    // uncompressed context each, and the common image classes one context
    // per usual compressed encoding, in which their instances come unchanged.
    std::vector<DimseContext> contexts;
    for (int i = 0; i < numberOfDcmShortSCUStorageSOPClassUIDs; ++i)
        contexts.push_back({dcmShortSCUStorageSOPClassUIDs[i],
                            {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax},
                            true});
    const char* images[] = {UID_CTImageStorage,
                            UID_MRImageStorage,
                            UID_ComputedRadiographyImageStorage,
                            UID_DigitalXRayImageStorageForPresentation,
                            UID_DigitalMammographyXRayImageStorageForPresentation,
                            UID_UltrasoundImageStorage,
                            UID_UltrasoundMultiframeImageStorage,
                            UID_SecondaryCaptureImageStorage,
                            UID_XRayAngiographicImageStorage,
                            UID_XRayRadiofluoroscopicImageStorage,
                            UID_NuclearMedicineImageStorage,
                            UID_PositronEmissionTomographyImageStorage};
    const char* compressed[] = {UID_JPEGProcess1TransferSyntax, UID_JPEGProcess14SV1TransferSyntax,
                                UID_JPEGLSLosslessTransferSyntax, UID_JPEG2000LosslessOnlyTransferSyntax,
                                UID_JPEG2000TransferSyntax};
    for (const char* image : images)
        for (const char* syntax : compressed)
            contexts.push_back({image, {syntax}, true});
    if (contexts.size() > most) contexts.resize(most);
    return contexts;
}

bool dimse_receive_instance(T_ASC_Association* association, unsigned char context,
                            const T_DIMSE_C_StoreRQ& request, int timeout_seconds, InstanceFolder& folder,
                            std::string& path, std::string& error)
{
    path.clear();
    T_ASC_PresentationContextID id = context;
    const std::string temporary = folder.temporary_path();
    DcmOutputFileStream* stream = nullptr;
    OFCondition condition = DIMSE_createFilestream(temporary.c_str(), &request, association, id, 1, &stream);
    if (condition.bad()) {
        delete stream;
        error = "cannot write into " + folder.folder() + ": " + dimse_condition_text(condition, timeout_seconds);
        std::remove(temporary.c_str());
        DIC_UL bytes = 0;
        DIC_UL pieces = 0;
        const bool skipped =
            DIMSE_ignoreDataSet(association, DIMSE_NONBLOCKING, timeout_seconds, &bytes, &pieces).good();
        return skipped && answer(association, context, request, out_of_resources);
    }
    condition =
        DIMSE_receiveDataSetInFile(association, DIMSE_NONBLOCKING, timeout_seconds, &id, stream, nullptr, nullptr);
    const bool written = stream->status().good();
    delete stream;
    if (condition.bad()) {
        std::remove(temporary.c_str());
        error = "receiving an instance: " + dimse_condition_text(condition, timeout_seconds);
        return false;
    }
    std::string why;
    if (!written) {
        std::remove(temporary.c_str());
        error = "cannot write into " + folder.folder() + ": " + std::strerror(errno);
        return answer(association, context, request, out_of_resources);
    }
    if (!folder.keep(temporary, request.AffectedSOPInstanceUID, path, why)) {
        error = why;
        path.clear();
        return answer(association, context, request, cannot_understand);
    }
    if (!answer(association, context, request, 0x0000)) {
        error = "the server aborted the association";
        return false;
    }
    return true;
}
