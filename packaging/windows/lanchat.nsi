; The installer for Windows, made on Linux by makensis (CMake target
; "installer"). The build defines:
;   VERSION    the project's version (1.0.0)
;   ADDRESS    the broadcast address the program was built for
;   CODEPAGE   the code page of the text on the wire
;   PUBLISHER  who publishes it
;   PROGRAM    the path of lanchat.exe on the build machine
;   OUTFILE    the path of the installer to write
; A 64-bit installer: 64-bit Wine runs no 32-bit one, and its registry view
; and Program Files are the program's own.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\lanchat"
; One rule in Windows Defender Firewall lets the broadcasts of the other
; computers in: UDP to port 2000, for this program only.
!define RULE 'name="lanchat" dir=in action=allow protocol=UDP localport=2000 program="$INSTDIR\lanchat.exe"'
!define RULE_MATCH 'name="lanchat" dir=in protocol=UDP localport=2000'

Name "lanchat"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\lanchat"
BrandingText "lanchat ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1036 "ProductName" "lanchat"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de lanchat ${VERSION} (${ADDRESS})"
VIAddVersionKey /LANG=1036 "LegalCopyright" "Licence MIT"

!define MUI_WELCOMEPAGE_TITLE "Installation de lanchat ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "lanchat est une messagerie sans serveur pour les ordinateurs d'un même réseau local.$\r$\n$\r$\nCette version envoie chaque message à l'adresse de diffusion ${ADDRESS}, port UDP 2000, le texte en ${CODEPAGE} : elle parle aux ordinateurs de ce réseau qui ont une version faite pour la même adresse.$\r$\n$\r$\nLe pare-feu Windows laissera entrer les messages des autres ordinateurs (UDP, port 2000).$\r$\n$\r$\nCliquez sur Suivant pour continuer."
!define MUI_FINISHPAGE_RUN "$INSTDIR\lanchat.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Lancer lanchat"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; Runs netsh with the arguments on the stack and says how it went. A
; firewall that refuses (or a netsh that does nothing, as Wine's) does not
; stop the installation: the chat then works on this computer alone.
!macro Netsh un
Function ${un}Netsh
  Exch $0
  DetailPrint "netsh $0"
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" $0'
  Pop $0
  ${If} $0 != 0
    DetailPrint "netsh a répondu $0 : le pare-feu n'a pas pris la modification."
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro Netsh ""
!insertmacro Netsh "un."

Section "lanchat"
  SetOutPath "$INSTDIR"
  File "/oname=lanchat.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\lanchat.lnk" "$INSTDIR\lanchat.exe" "" "$INSTDIR\lanchat.exe" 0 \
    SW_SHOWNORMAL "" "Chat sans serveur pour un réseau local (${ADDRESS})"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "lanchat"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Comments" "Adresse de diffusion ${ADDRESS}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lanchat.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; An earlier installation's rule goes first, so that installing again
  ; leaves one rule, not two.
  Push 'advfirewall firewall delete rule ${RULE_MATCH}'
  Call Netsh
  Push 'advfirewall firewall add rule ${RULE}'
  Call Netsh
SectionEnd

Section "Uninstall"
  Push 'advfirewall firewall delete rule ${RULE_MATCH}'
  Call un.Netsh
  Delete "$SMPROGRAMS\lanchat.lnk"
  Delete "$INSTDIR\lanchat.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
