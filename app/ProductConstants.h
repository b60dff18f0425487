// Product constants of the installer, in one place. Texts are in the ANSI code page (949).
#pragma once

#include <stddef.h>

namespace product {

// The vendor's web server: "http://" and host (optional port), no trailing slash.
// Set at configure time (CMake cache variable QUILLON_SERVER_URL).
extern const char kServerUrl[];

// The vendor's release-signing public keys (X then Y of a P-256 point each), of which a
// release record must carry a signature; none (null, 0) when the build was allowed to go
// without: the archive is then installed unchecked. Set at configure time (CMake cache
// variables QUILLON_ARCHIVE_PUBLIC_KEY, QUILLON_ALLOW_UNSIGNED_ARCHIVES).
constexpr size_t kArchivePublicKeySize = 64;
extern const unsigned char (*const kArchivePublicKeys)[kArchivePublicKeySize];
extern const size_t kArchivePublicKeyCount;
// The lowest release version this installer accepts (QUILLON_MIN_ARCHIVE_VERSION).
extern const char kMinArchiveVersion[];

constexpr char kAgreementPath[] = "/Orlo_venta/install_agree.asp";
constexpr char kDefaultFolder[] = "C:\\QuillonWidget";
constexpr char kArchiveFile[] = "Quillon_Widget.zip";
// The vendor's release record of the archive and its signature, served beside it.
constexpr char kReleaseRecordFile[] = "Quillon_Widget.zip.meta";
constexpr char kReleaseSignatureFile[] = "Quillon_Widget.zip.meta.sig";
// A download on its way is kept beside its target under the target's name and these:
// the bytes so far, and what a later request needs to go on from them.
constexpr char kPartSuffix[] = ".part";
constexpr char kResumeSuffix[] = ".resume";
constexpr char kWidgetProgram[] = "QuillonWidget.exe";
constexpr char kPickedFolderName[] = "QuillonWidget";
constexpr char kShortcutFile[] = "\\Quillon위젯.lnk";
constexpr char kShortcutDescription[] = "Quillon위젯";
constexpr char kInstallTitle[] = "Quillon 위젯 설치";
constexpr char kHubTitle[] = "LumoPOS 설치";
// Names the machine's one running installer.
constexpr char kInstanceName[] = "QuillonWidgetSetup";

}  // namespace product
