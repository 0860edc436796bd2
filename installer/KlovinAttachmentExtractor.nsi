; The Windows installer of Klovin Attachment Extractor, made by tools/package:
;
;   makensis -DVERSION=1.0.0 -DEDITION=win64|win32 -DSTAGE=DIR -DICON=FILE.ico
;            -DOUTFILE=SETUP.exe KlovinAttachmentExtractor.nsi
;
; STAGE holds the files that are installed, as they go into the zip. The installer puts
; them into a folder of the user's own by default, which needs no administrator rights;
; "Anyone who uses this computer" on its second page, or /AllUsers, installs into
; Program Files for everybody and asks for the rights. /CurrentUser, /S and /D= work
; as usual. The uninstaller removes exactly what the installer made: the user's settings
; (HKCU\Software\Klovinware\Klovin Attachment Extractor) and attachments stay.

!ifndef VERSION | EDITION | STAGE | ICON | OUTFILE
    !error "tools/package passes VERSION, EDITION, STAGE, ICON and OUTFILE"
!endif

Unicode true
!if "${EDITION}" == "win64"
    Target amd64-unicode
!else if "${EDITION}" == "win32"
    Target x86-unicode
!else
    !error "EDITION is win64 or win32, not ${EDITION}"
!endif

!define PRODUCT "Klovin Attachment Extractor"
!define PUBLISHER "Klovinware"
!define HOMEPAGE "https://klovinware.example/"
!define APP_EXE "KlovinAttachmentExtractor.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KlovinAttachmentExtractor"
; What the installer puts into the folder, in one list for the install and the removal.
!macro TOVK_INSTALLED_FILES action
    !insertmacro ${action} "${APP_EXE}"
    !insertmacro ${action} "klovin-extract.exe"
    !insertmacro ${action} "UserGuide.html"
    !insertmacro ${action} "LICENSE.txt"
!macroend

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; The default is the user's own installation; the all-users one asks for the rights
; itself (see ElevateForAllUsers), so that nobody is asked who does not need to be.
RequestExecutionLevel user
ManifestSupportedOS all
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) the ${PRODUCT} authors; MIT licence"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinVer.nsh
!include x64.nsh
!include nsDialogs.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

Var Mode            ; AllUsers or CurrentUser
Var ModeFromSwitch  ; 1 when /AllUsers or /CurrentUser chose it: the page is not shown
Var DirFromSwitch   ; the folder given with /D=, which wins over every default
Var ModePage.Me
Var ModePage.Everyone

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
Page custom ModePageShow ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Reads /AllUsers and /CurrentUser into $Mode; $ModeFromSwitch says whether either was
; given. Shared by the installer and the uninstaller.
!macro TOVK_READ_MODE_SWITCHES un
    StrCpy $ModeFromSwitch 0
    ${${un}GetParameters} $R0
    ClearErrors
    ${${un}GetOptions} $R0 "/AllUsers" $R1
    ${IfNot} ${Errors}
        StrCpy $Mode AllUsers
        StrCpy $ModeFromSwitch 1
    ${EndIf}
    ClearErrors
    ${${un}GetOptions} $R0 "/CurrentUser" $R1
    ${IfNot} ${Errors}
        ${If} $ModeFromSwitch == 1
            MessageBox MB_OK|MB_ICONSTOP "/AllUsers and /CurrentUser cannot be given together." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        StrCpy $Mode CurrentUser
        StrCpy $ModeFromSwitch 1
    ${EndIf}
!macroend

; Windows refuses an all-users installation (Program Files, HKLM) to a process without
; administrator rights. Such a process starts itself again with the rights, which makes
; Windows ask for them, passes on what matters of its command line, and ends; the
; elevated one carries on. Leaves the error flag set when the user refused.
!macro TOVK_ELEVATE_FOR_ALL_USERS program extra
    ClearErrors
    UserInfo::GetAccountType
    Pop $R0
    ${If} $R0 != "Admin"
        StrCpy $R1 "/AllUsers ${extra}"
        ${If} ${Silent}
            StrCpy $R1 "/S $R1"
        ${EndIf}
        ClearErrors
        ExecShellWait "runas" "${program}" $R1
        ${IfNot} ${Errors}
            Quit
        ${EndIf}
    ${EndIf}
!macroend

!macro TOVK_APPLY_MODE
    ${If} $Mode == AllUsers
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
!macroend

Function .onInit
    ${IfNot} ${AtLeastWinVista}
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs Windows Vista or later." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
!if "${EDITION}" == "win64"
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "This is the installer for 64-bit Windows. Please use the 32-bit one (win32-setup.exe)." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    ; The installed-apps list of a 64-bit program lives in the 64-bit registry.
    SetRegView 64
!endif
    StrCpy $DirFromSwitch $INSTDIR
    StrCpy $Mode CurrentUser
    !insertmacro TOVK_READ_MODE_SWITCHES ""
    Call ApplyMode
    ${If} $Mode == AllUsers
    ${AndIf} $ModeFromSwitch == 1
        Call ElevateForAllUsers
        ${If} ${Errors}
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

; The folder for the mode: the one an earlier installation of that mode used, or the
; usual place, unless /D= named one.
Function ApplyMode
    !insertmacro TOVK_APPLY_MODE
    ${If} $DirFromSwitch != ""
        StrCpy $INSTDIR $DirFromSwitch
        Return
    ${EndIf}
    ReadRegStr $INSTDIR SHCTX "${UNINST_KEY}" "InstallLocation"
    ${If} $INSTDIR != ""
        Return
    ${EndIf}
    ${If} $Mode == AllUsers
!if "${EDITION}" == "win64"
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
!else
        StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
!endif
    ${Else}
        ; FOLDERID_UserProgramFiles: where Windows puts programs installed for one user.
        GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
        ${If} $INSTDIR == ""
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
        ${EndIf}
        StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
    ${EndIf}
FunctionEnd

Function ElevateForAllUsers
    StrCpy $R2 ""
    ${If} $DirFromSwitch != ""
        StrCpy $R2 "/D=$DirFromSwitch"
    ${EndIf}
    !insertmacro TOVK_ELEVATE_FOR_ALL_USERS "$EXEPATH" $R2
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "Installing for everyone who uses this computer needs administrator rights." /SD IDOK
    ${EndIf}
FunctionEnd

Function ModePageShow
    ${If} $ModeFromSwitch == 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose for whom to install ${PRODUCT}."
    nsDialogs::Create 1018
    Pop $R0
    ${NSD_CreateLabel} 0 0 100% 24u "Install ${PRODUCT} for:"
    Pop $R0
    ${NSD_CreateRadioButton} 10u 30u 100% 12u "&Only for me (no administrator rights needed)"
    Pop $ModePage.Me
    ${NSD_CreateRadioButton} 10u 48u 100% 12u "&Anyone who uses this computer (needs administrator rights)"
    Pop $ModePage.Everyone
    ${If} $Mode == AllUsers
        ${NSD_Check} $ModePage.Everyone
    ${Else}
        ${NSD_Check} $ModePage.Me
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $ModePage.Everyone $R0
    ${If} $R0 == ${BST_CHECKED}
        StrCpy $Mode AllUsers
    ${Else}
        StrCpy $Mode CurrentUser
    ${EndIf}
    Call ApplyMode
    ${If} $Mode == AllUsers
        Call ElevateForAllUsers
        ${If} ${Errors}
            Abort
        ${EndIf}
    ${EndIf}
FunctionEnd

!macro TOVK_INSTALL_FILE name
    File "${STAGE}\${name}"
!macroend

; The folders and the installed-apps list that this installation is the first to need are
; its own to remove again: a new user's AppData\Local\Programs, say, or the folders of a
; /D= path that did not exist. The topmost folder it made is kept in its entry, and an
; installation over an earlier one keeps what that one made.
!macro TOVK_NOTE_WHAT_IS_NEW
    ReadRegStr $R0 SHCTX "${UNINST_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        ReadRegStr $R1 SHCTX "${UNINST_KEY}" "CreatedFolder"
        ReadRegDWORD $R2 SHCTX "${UNINST_KEY}" "CreatedUninstallList"
    ${Else}
        StrCpy $R1 ""
        StrCpy $R0 $INSTDIR
        ${DoUntil} ${FileExists} "$R0\*.*"
            StrCpy $R1 $R0
            ${GetParent} $R0 $R0
            ${IfThen} $R0 == "" ${|} ${ExitDo} ${|}
        ${Loop}
        StrCpy $R2 0
        ClearErrors
        EnumRegKey $R0 SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall" 0
        ${IfThen} ${Errors} ${|} StrCpy $R2 1 ${|}
    ${EndIf}
!macroend

Section "Install"
    !insertmacro TOVK_NOTE_WHAT_IS_NEW
    SetOutPath $INSTDIR
    !insertmacro TOVK_INSTALLED_FILES TOVK_INSTALL_FILE
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0 \
        SW_SHOWNORMAL "" "Extract the attachments of stored e-mail"

    ; The entry in Windows' list of installed apps. The uninstaller is told the mode,
    ; which it cannot guess from its folder when /D= put it somewhere unusual.
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINST_KEY}" "URLInfoAbout" "${HOMEPAGE}"
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
    WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" /$Mode'
    WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /$Mode /S'
    WriteRegStr SHCTX "${UNINST_KEY}" "CreatedFolder" $R1
    WriteRegDWORD SHCTX "${UNINST_KEY}" "CreatedUninstallList" $R2
    WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
    WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $R0
SectionEnd

Function un.onInit
!if "${EDITION}" == "win64"
    SetRegView 64
!endif
    !insertmacro TOVK_READ_MODE_SWITCHES un.
    ${If} $ModeFromSwitch == 0
        ; Started without a switch (by hand from the folder): the all-users entry that
        ; points at this folder says which installation this is.
        StrCpy $Mode CurrentUser
        ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
        ${If} $R0 == $INSTDIR
            StrCpy $Mode AllUsers
        ${EndIf}
    ${EndIf}
    !insertmacro TOVK_APPLY_MODE
    ${If} $Mode == AllUsers
        !insertmacro TOVK_ELEVATE_FOR_ALL_USERS "$INSTDIR\${UNINSTALLER}" ""
        ${If} ${Errors}
            MessageBox MB_OK|MB_ICONSTOP "Removing ${PRODUCT} for everyone who uses this computer needs administrator rights." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

!macro TOVK_REMOVE_FILE name
    Delete "$INSTDIR\${name}"
!macroend

Section "Uninstall"
    ReadRegStr $R1 SHCTX "${UNINST_KEY}" "CreatedFolder"
    ReadRegDWORD $R2 SHCTX "${UNINST_KEY}" "CreatedUninstallList"
    !insertmacro TOVK_INSTALLED_FILES TOVK_REMOVE_FILE
    Delete "$INSTDIR\${UNINSTALLER}"
    ; Each folder only when empty: a file the user put there (attachments saved into the
    ; program's folder, say) keeps it. Up to the topmost one the installation made, and
    ; only when that one lies on the way up.
    RMDir "$INSTDIR"
    StrLen $R3 $R1
    StrCpy $R4 $INSTDIR $R3
    ${If} $R1 != ""
    ${AndIf} $R4 == $R1
        StrCpy $R0 $INSTDIR
        ${DoWhile} $R0 != $R1
            ${GetParent} $R0 $R0
            ${IfThen} $R0 == "" ${|} ${ExitDo} ${|}
            RMDir $R0
        ${Loop}
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey SHCTX "${UNINST_KEY}"
    ${If} $R2 == 1
        DeleteRegKey /ifempty SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    ${EndIf}
SectionEnd
