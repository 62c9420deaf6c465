// The installer's two readers of its own payload archive: the agreement text
// and the files to install. See payload_format.h for the layout.
#ifndef ZARNSETUP_PAYLOAD_READER_H
#define ZARNSETUP_PAYLOAD_READER_H

#include <cstdint>
#include <functional>
#include <string>

#include "platform.h"

namespace zarnsetup {

struct AgreementText {
  std::string text;                      // empty when there is none
  std::uint32_t textSegmentLength = 0;   // T; 0 when it could not be read
};

// Reads the agreement from the text segment of the archive at the end of the
// executable file. The last type-3 entry wins. A damaged segment ends the scan
// quietly with whatever was taken before.
AgreementText ReadAgreementText(const std::string& executablePath);

enum class OverwriteChoice { Write, Skip };

// Asked for every entry before it is written, with the bare entry name; the
// install folder is the current folder while it runs.
using OverwriteDecision =
    std::function<OverwriteChoice(WindowHandle owner, const std::string& name)>;

// Installs the process-wide overwrite decision (none installed: write all).
void SetOverwriteDecision(OverwriteDecision decision);

// Writes every entry of the file segment into the install folder (a path
// without a trailing backslash). Each file is written to a temporary file in
// the install folder and moved onto its name only when complete, so a failure
// never leaves a partial file and never damages the file it would replace.
// Files finished before a failure stay. Returns false on any failure.
bool UnpackPayload(Platform& platform, const std::string& executablePath,
                   WindowHandle owner, const std::string& installFolder,
                   std::uint32_t textSegmentLength);

} // namespace zarnsetup

#endif
