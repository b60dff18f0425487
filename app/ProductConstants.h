// Product constants of the installer, in one place. Texts are in the ANSI code page (949).
#pragma once

namespace product {

// The vendor's web server: "http://" and host (optional port), no trailing slash.
// Set at configure time (CMake cache variable QUILLON_SERVER_URL).
extern const char kServerUrl[];

// The vendor's archive-signing public key (X then Y of a P-256 point, 64 bytes), or null
// when the build was given none: the archive is then installed unchecked. Set at configure
// time (CMake cache variable QUILLON_ARCHIVE_PUBLIC_KEY).
extern const unsigned char* const kArchivePublicKey;

constexpr char kAgreementPath[] = "/Orlo_venta/install_agree.asp";
constexpr char kDefaultFolder[] = "C:\\QuillonWidget";
constexpr char kArchiveFile[] = "Quillon_Widget.zip";
// The vendor's signature of the archive, served beside it.
constexpr char kArchiveSignatureFile[] = "Quillon_Widget.zip.sig";
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
