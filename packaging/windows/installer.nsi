; TamselDesk-<version>.exe: installs the Tamsel desk companion for the user who runs it, without
; elevation, into %LOCALAPPDATA%\Programs\TamselDesk, and removes it again (uninstall.exe).
; cmake/WindowsPackaging.cmake runs makensis on it with VERSION, VERSION_QUAD, STAGE (the folder
; holding tamsel-desk.exe, WebView2Loader.dll and server.json when the build names an origin),
; ICON, SOURCE_DIR and OUTFILE defined.
;
;   TamselDesk-<version>.exe [/S] [/UPDATE] [/D=FOLDER]
;   /S        silent: no page, no box, nothing started at the end
;   (shown)   also offers to allow the program through the Windows Defender Firewall on
;             private networks, with the elevation prompt that needs; uninstall.exe removes
;             that rule again
;   /UPDATE   the shell that started it is closing (its update hand-off passes "/S /UPDATE"):
;             wait until it has ended, install, and start the new one
; Without /UPDATE a running shell is closed first. The autostart value, when set, is pointed at
; the installed program; the data folder (%LOCALAPPDATA%\TamselDeskNative) is never touched.
; Exit codes: 0 installed (or removed); 1 cancelled; 3 the running shell did not end within 30
; seconds; 4 a file of the program could not be replaced (held open by another program), the
; program left as it was; 5 the program's folder cannot be written; 6 not Windows 10 or later;
; 7 another of these installers is running. The reason is also shown
; (unless silent) and written to standard error when the installer has one.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include WinVer.nsh
!include StrFunc.nsh
${StrStr}
${UnStrStr}

; The names, as the program itself has them.
!searchparse /file "${SOURCE_DIR}/src/common/version.h" `#define DESK_PRODUCT_NAME "` PRODUCT `"`
!searchparse /file "${SOURCE_DIR}/src/common/version.h" `#define DESK_DISPLAY_NAME "` DISPLAY `"`
!searchparse /file "${SOURCE_DIR}/src/common/version.h" `#define DESK_PUBLISHER "` PUBLISHER `"`

!define PROGRAM "tamsel-desk.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "TamselDeskNative"
!define SHELL_MUTEX "Local\tamsel.desk.native"
!define SHELL_WINDOW "TamselDeskNativeWindow"
!define SHORTCUT "$SMPROGRAMS\${DISPLAY}.lnk"
; The inbound rule the interactive install offers: the LAN on private networks only. Its name
; is plain ASCII, so that netsh's listing of it (in the console's code page) can be searched.
!define FIREWALL_RULE "${PRODUCT} LAN"

Name "${DISPLAY}"
Caption "${DISPLAY} ${VERSION} 安装 Setup"
UninstallCaption "${DISPLAY} 卸载 Uninstall"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
Icon "${ICON}"
UninstallIcon "${ICON}"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${DISPLAY} ${VERSION}"
LoadLanguageFile "${NSISDIR}/Contrib/Language files/SimpChinese.nlf"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} ProductName "${DISPLAY}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} FileDescription "${DISPLAY} 安装程序 Setup"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} LegalCopyright "${PUBLISHER}"

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var update

; The functions both halves need, once for the installer and once (un.) for the uninstaller.
!macro SharedFunctions un
  ; Ends with exit code $R7 after saying why: $R9 (Chinese, then English) in a box unless
  ; silent, $R8 (the English) on standard error.
  Function ${un}fail
    System::Call 'kernel32::GetStdHandle(i -12) p.r9'
    ${If} $9 P<> 0
    ${AndIf} $9 P<> -1
      FileWrite $9 "${PRODUCT}-${VERSION}: $R8$\r$\n"
    ${EndIf}
    DetailPrint "$R8"
    IfSilent +2
    MessageBox MB_OK|MB_ICONSTOP "$R9$\n$\n$R8"
    SetErrorLevel $R7
    Quit
  FunctionEnd

  ; Waits until no shell holds its single-instance mutex, 30 seconds at most; asks a running
  ; one to close first unless $R6 is "wait".
  ; $0 is 0 when the program's firewall rule is there: netsh lists it by name. Reading the
  ; rules needs no elevation. (A netsh without these verbs, as Wine's, lists nothing.)
  Function ${un}firewallRuleExists
    nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall show rule name="${FIREWALL_RULE}"'
    Pop $0
    Pop $1
    !if "${un}" == "un."
      ${UnStrStr} $2 $1 "${FIREWALL_RULE}"
    !else
      ${StrStr} $2 $1 "${FIREWALL_RULE}"
    !endif
    ${If} $0 != 0
    ${OrIf} $2 == ""
      StrCpy $0 1
    ${EndIf}
  FunctionEnd

  ; netsh with the parameters in $R5, elevated: Windows asks for an administrator's consent;
  ; a user who refuses leaves the rules as they were.
  Function ${un}elevatedNetsh
    ; It works in the system folder: a process working in the program's folder would keep the
    ; uninstaller from removing it.
    StrCpy $R4 $OUTDIR
    SetOutPath "$SYSDIR"
    ExecShellWait "runas" "$SYSDIR\netsh.exe" "$R5" SW_HIDE
    SetOutPath "$R4"
  FunctionEnd

  Function ${un}awaitShellEnd
    ${If} $R6 != "wait"
      FindWindow $0 "${SHELL_WINDOW}"
      ${If} $0 <> 0
        DetailPrint "正在关闭小屋 Closing the companion"
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
      ${EndIf}
    ${EndIf}
    StrCpy $1 0
    ${Do}
      System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${SHELL_MUTEX}") p.r0'
      ${If} $0 P= 0
        Return
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r0)'
      ${If} $1 >= 150
        StrCpy $R7 3
        StrCpy $R9 "小屋在 30 秒内没有退出，什么都没有改变。"
        StrCpy $R8 "The running companion did not end within 30 seconds; nothing was changed."
        Call ${un}fail
      ${EndIf}
      Sleep 200
      IntOp $1 $1 + 1
    ${Loop}
  FunctionEnd
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/UPDATE" $1
  ${IfNot} ${Errors}
    StrCpy $update 1
  ${EndIf}
  ; Build 10240 is Windows 10's first; the WebView2 runtime and the program need no less.
  ${IfNot} ${AtLeastBuild} 10240
    StrCpy $R7 6
    StrCpy $R9 "桌面小屋需要 Windows 10 或更新的版本。"
    StrCpy $R8 "The desk companion needs Windows 10 or later."
    Call fail
  ${EndIf}
  ; One installer at a time: two would replace the same files. The mutex goes with the process.
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "Local\tamsel.desk.installer") p.r0 ? e'
  Pop $1
  ${If} $1 = 183  ; ERROR_ALREADY_EXISTS
    StrCpy $R7 7
    StrCpy $R9 "另一个桌面小屋安装程序正在运行，请等它结束后再试。"
    StrCpy $R8 "Another installer of the desk companion is running; try again once it has ended."
    Call fail
  ${EndIf}
FunctionEnd

; Renames NAME.new over NAME in the program's folder, retrying for ten seconds while another
; program (a virus scanner, say) holds NAME open; the .new files go when it cannot.
!macro Replace name
  Push "${name}"
  Call replace
!macroend
Function replace
  Exch $0
  StrCpy $1 0
  ${Do}
    ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: the old file stays whole until then.
    System::Call 'kernel32::MoveFileExW(w "$INSTDIR\$0.new", w "$INSTDIR\$0", i 9) i.r2 ? e'
    Pop $3
    ${If} $2 <> 0
      Pop $0
      Return
    ${EndIf}
    ${If} $1 >= 50
      Delete "$INSTDIR\*.new"
      StrCpy $R7 4
      StrCpy $R9 "无法替换 $INSTDIR\$0（文件正被其他程序使用），程序保持原样。"
      StrCpy $R8 "Cannot replace $INSTDIR\$0 (error $3: another program holds it open); the program was left as it was."
      Call fail
    ${EndIf}
    Sleep 200
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd

Section
  ${If} $update == 1
    StrCpy $R6 "wait"
  ${EndIf}
  Call awaitShellEnd

  ; Everything is unpacked beside the program first, then renamed over it.
  ClearErrors
  SetOutPath "$INSTDIR"
  Delete "$INSTDIR\*.new"
  File "/oname=${PROGRAM}.new" "${STAGE}/${PROGRAM}"
  File "/oname=WebView2Loader.dll.new" "${STAGE}/WebView2Loader.dll"
  !if /FileExists "${STAGE}/server.json"
    File "/oname=server.json.new" "${STAGE}/server.json"
  !endif
  WriteUninstaller "$INSTDIR\uninstall.exe.new"
  ${If} ${Errors}
    Delete "$INSTDIR\*.new"
    StrCpy $R7 5
    StrCpy $R9 "无法写入 $INSTDIR，程序保持原样。"
    StrCpy $R8 "Cannot write to $INSTDIR; the program was left as it was."
    Call fail
  ${EndIf}
  !insertmacro Replace "WebView2Loader.dll"
  !if /FileExists "${STAGE}/server.json"
    !insertmacro Replace "server.json"
  !endif
  !insertmacro Replace "uninstall.exe"
  !insertmacro Replace "${PROGRAM}"

  CreateShortCut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Start at log-on, when the user chose it, starts the program installed here.
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${PROGRAM}"'
  ${EndIf}

  ; Asked only here, never by the silent update: without the rule Windows asks itself at the
  ; program's first listen, and the LAN works once the user allows it there.
  ${IfNot} ${Silent}
    Call firewallRuleExists
    ${If} $0 <> 0
      MessageBox MB_YESNO|MB_ICONQUESTION "允许小屋在专用网络（家庭或工作网络）上与您的其他设备连接吗？Windows 会请求管理员同意。$\n$\nAllow the companion to connect with your other devices on private networks (home or work)? Windows asks for an administrator's consent." /SD IDNO IDNO firewall_done
      StrCpy $R5 'advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow enable=yes profile=private program="$INSTDIR\${PROGRAM}"'
      Call elevatedNetsh
      Call firewallRuleExists
      ${If} $0 = 0
        DetailPrint "已允许专用网络 Allowed on private networks"
      ${Else}
        DetailPrint "未允许：Windows 会在第一次连接时询问 Not allowed: Windows asks at the first connection"
      ${EndIf}
      firewall_done:
    ${EndIf}
  ${EndIf}

  ${If} $update == 1
  ${OrIfNot} ${Silent}
    Exec '"$INSTDIR\${PROGRAM}"'
  ${EndIf}
SectionEnd

Section Uninstall
  Call un.awaitShellEnd
  ClearErrors
  Delete "$INSTDIR\${PROGRAM}"
  ${If} ${Errors}
    StrCpy $R7 4
    StrCpy $R9 "无法删除 $INSTDIR\${PROGRAM}（文件正被其他程序使用）。"
    StrCpy $R8 "Cannot remove $INSTDIR\${PROGRAM} (another program holds it open)."
    Call un.fail
  ${EndIf}
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ; Removing the rule needs the elevation its making did: asked only when there is one.
  Call un.firewallRuleExists
  ${If} $0 = 0
    StrCpy $R5 'advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\${PROGRAM}"'
    Call un.elevatedNetsh
  ${EndIf}
  ; The folder last: once it is gone, so is everything else.
  Delete "$INSTDIR\WebView2Loader.dll"
  Delete "$INSTDIR\server.json"
  Delete "$INSTDIR\*.new"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
