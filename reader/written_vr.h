// How a data set is written, read from its first element header: with VR
// letters after the tag (explicit VR) or a 32-bit length there (implicit VR).
// A data set written otherwise than its transfer syntax says is read as it is
// written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class WrittenVr { explicit_vr, implicit_vr, unknown };

// The encoding of the element header whose first `size` bytes are `head`
// (its tag in the data set's byte order, then at least two more bytes):
// explicit when those two bytes are capital letters, implicit otherwise;
// unknown for an item or delimiter tag (no VR in any encoding) or fewer than
// six bytes.
WrittenVr written_vr(const uint8_t* head, std::size_t size, bool big_endian);

// The encoding a transfer syntax UID (padding ignored) declares: implicit VR
// for the syntaxes read so, explicit for the other DICOM syntaxes, unknown for
// any other UID.
WrittenVr declared_vr(std::string_view uid);

// The warning logged for a data set read as written against its syntax.
const char* written_vr_warning(WrittenVr written);
