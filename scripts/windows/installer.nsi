; The Windows installer, made by scripts/windows.sh from the folder the zip is packed from:
;   makensis -INPUTCHARSET UTF8 -DPRODUCT_NSH=<build>/product.nsh -DSTAGE=<staged folder>
;            -DREMOVE_NSH=<what the uninstaller removes> -DOUTFILE=<setup.exe> installer.nsi
; For the current user without administrator rights; for all users when started elevated or with
; /ALLUSERS. /S silent, /D=folder (last), /CURRENTUSER, /DESKTOP, /CONNECTION=..., /FOLDER=...
; (README: Windows).

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "${PRODUCT_NSH}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define APP "eschf-loader"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SETTINGS "MdbConnect.ini"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "${PRODUCT_NAME}.lnk"
!define FOLDER_SHORTCUT "Папка программы.lnk"

Name "${PRODUCT_NAME}"
OutFile "${OUTFILE}"
; Chosen in .onInit: the earlier installation's folder, else the mode's default; /D= overrides.
InstallDir ""
BrandingText "${PRODUCT_NAME} ${PRODUCT_VERSION}"
ShowInstDetails show
ShowUninstDetails show

Var AllUsers
Var Upgrade       ; an earlier installation is in $INSTDIR
Var HasSettings   ; MdbConnect.ini is in $INSTDIR: never written over
Var WantDesktop   ; 1: a desktop shortcut
Var Connection
Var Folder
Var KindList
Var ConnectionEdit
Var FolderEdit
Var WelcomeText

!define MUI_ICON "${PRODUCT_ICON}"
!define MUI_UNICON "${PRODUCT_ICON}"
!define MUI_ABORTWARNING

; An upgrade skips the folder page, so the first page says what is about to happen.
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsPage SettingsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\eschf-loader.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Запустить «${PRODUCT_NAME}»"
!define MUI_FINISHPAGE_SHOWREADME ""
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Ярлык на рабочем столе"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION DesktopShortcutChosen
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${PRODUCT_VERSION_QUAD}"
VIFileVersion "${PRODUCT_VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "${PRODUCT_NAME}: установка"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "${PRODUCT_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "${PRODUCT_PUBLISHER}"

; The value of a switch on the command line: /NAME=value up to the next " /", /NAME="value" and
; "/NAME=value" up to the closing quote; a name without "=" is a flag. The error flag is set when
; the switch is absent. The switches' values are connection strings, which hold spaces, "=" and
; ";", and folders, which may end with a backslash.
!macro GetSwitch NAME OUT
    Push "${NAME}"
    Call GetSwitch
    Pop ${OUT}
!macroend
Function GetSwitch
    Exch $0 ; the switch's name
    Push $1 ; the command line
    Push $2 ; where the name is looked for
    Push $3
    Push $4 ; the name's length
    Push $5 ; the value's end
    ClearErrors
    ${GetParameters} $1
    StrLen $4 $0
    StrCpy $2 0
    ${Do}
        StrCpy $3 $1 $4 $2
        ${If} $3 == ""
            Pop $5
            Pop $4
            Pop $3
            Pop $2
            Pop $1
            StrCpy $0 ""
            Exch $0
            SetErrors
            Return
        ${EndIf}
        ${If} $3 == $0
            IntOp $3 $2 - 1
            StrCpy $3 $1 1 $3
            ${If} $2 == 0
            ${OrIf} $3 == " "
            ${OrIf} $3 == '"'
                ${ExitDo}
            ${EndIf}
        ${EndIf}
        IntOp $2 $2 + 1
    ${Loop}
    ; $3: the character before the name; the value starts after it.
    IntOp $2 $2 + $4
    StrCpy $1 $1 "" $2
    StrCpy $4 $0 1 -1
    ${If} $4 != "="
        StrCpy $4 $1 1
        StrCpy $0 ""
        ${If} $4 != ""
        ${AndIf} $4 != " "
        ${AndIf} $4 != '"'
            SetErrors
        ${EndIf}
    ${Else}
        StrCpy $4 $1 1
        ${If} $3 == '"'
            StrCpy $4 '"'
        ${ElseIf} $4 == '"'
            StrCpy $1 $1 "" 1
        ${Else}
            StrCpy $4 " /"
        ${EndIf}
        StrLen $3 $4
        StrCpy $5 0
        ${Do}
            StrCpy $0 $1 $3 $5
            ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
            ${IfThen} $0 == $4 ${|} ${ExitDo} ${|}
            IntOp $5 $5 + 1
        ${Loop}
        StrCpy $0 $1 $5
        ClearErrors
    ${EndIf}
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Elevated (an administrator's full token): the all-users installation.
!macro IsElevated OUT
    UserInfo::GetAccountType
    Pop ${OUT}
    ${If} ${OUT} == "Admin"
        StrCpy ${OUT} 1
    ${Else}
        StrCpy ${OUT} 0
    ${EndIf}
!macroend

Function .onInit
    !insertmacro IsElevated $0
    StrCpy $AllUsers $0
    ; An upgrade goes where the earlier installation is: the user's own, else the machine's.
    ReadRegStr $1 HKCU "${UNINST_KEY}" "InstallLocation"
    ReadRegStr $2 HKLM "${UNINST_KEY}" "InstallLocation"
    ${If} $1 != ""
        StrCpy $AllUsers 0
    ${ElseIf} $2 != ""
    ${AndIf} $0 == 1
        StrCpy $AllUsers 1
    ${EndIf}
    ; An administrator may still install for himself alone.
    !insertmacro GetSwitch "/CURRENTUSER" $1
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
    ${EndIf}
    !insertmacro GetSwitch "/ALLUSERS" $1
    ${IfNot} ${Errors}
        ${If} $0 == 0
            MessageBox MB_ICONSTOP "Установка для всех пользователей требует прав администратора: запустите программу установки от имени администратора." /SD IDOK
            SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
            Quit
        ${EndIf}
        StrCpy $AllUsers 1
    ${EndIf}
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR SHCTX "${UNINST_KEY}" "InstallLocation"
    ${EndIf}
    ${If} $INSTDIR == ""
        ${If} $AllUsers == 1
            StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
        ${Else}
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${APP}"
        ${EndIf}
    ${EndIf}
    Call LookAtFolder
    ${If} $Upgrade == 1
        StrCpy $WelcomeText "«${PRODUCT_NAME}» в папке $INSTDIR будет обновлена до версии ${PRODUCT_VERSION}.$\r$\n$\r$\nФайл настроек ${SETTINGS} и файлы, добавленные в эту папку, останутся как есть.$\r$\n$\r$\nЗакройте программу, если она открыта, и нажмите «Далее»."
    ${ElseIf} $AllUsers == 1
        StrCpy $WelcomeText "Программа установки поставит «${PRODUCT_NAME}» ${PRODUCT_VERSION} для всех пользователей компьютера.$\r$\n$\r$\nНажмите «Далее»."
    ${Else}
        StrCpy $WelcomeText "Программа установки поставит «${PRODUCT_NAME}» ${PRODUCT_VERSION} для вас; права администратора для этого не нужны. Чтобы поставить программу для всех пользователей, запустите установку от имени администратора.$\r$\n$\r$\nНажмите «Далее»."
    ${EndIf}
    StrCpy $WantDesktop 0
    !insertmacro GetSwitch "/DESKTOP" $0
    ${IfNot} ${Errors}
        StrCpy $WantDesktop 1
    ${EndIf}
    !insertmacro GetSwitch "/CONNECTION=" $Connection
    !insertmacro GetSwitch "/FOLDER=" $Folder
FunctionEnd

; What is in the chosen folder already.
Function LookAtFolder
    StrCpy $Upgrade 0
    ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        StrCpy $Upgrade 1
    ${EndIf}
    StrCpy $HasSettings 0
    ${If} ${FileExists} "$INSTDIR\${SETTINGS}"
        StrCpy $HasSettings 1
    ${EndIf}
FunctionEnd

Function SkipOnUpgrade
    ${If} $Upgrade == 1
        Abort
    ${EndIf}
FunctionEnd

; The kinds of connection string the program understands, each with an example to edit: with
; KINDS_LIST defined they fill the list, else the chosen kind's text in $0 becomes its example.
!macro ConnectionKind TEXT EXAMPLE
    !ifdef KINDS_LIST
        ${NSD_CB_AddString} $KindList "${TEXT}"
    !else
        ${If} $0 == "${TEXT}"
            StrCpy $0 "${EXAMPLE}"
        ${EndIf}
    !endif
!macroend
!macro ConnectionKinds
    !insertmacro ConnectionKind "SQL Server, вход по имени и паролю" \
        "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=buh;Password=...;Initial Catalog=Buh;Data Source=SRV01\SQLEXPRESS"
    !insertmacro ConnectionKind "SQL Server, вход Windows" \
        "Provider=SQLNCLI11;Integrated Security=SSPI;Initial Catalog=Buh;Data Source=SRV01"
    !insertmacro ConnectionKind "SQL Server, шифрованное соединение" \
        "Provider=MSOLEDBSQL;Data Source=tcp:SRV01,1433;Initial Catalog=Buh;User ID=buh;Password=...;Use Encryption for Data=True"
    !insertmacro ConnectionKind "SQL Server через драйвер ODBC" \
        "Driver={ODBC Driver 18 for SQL Server};Server=SRV01;Database=Buh;UID=buh;PWD=...;Encrypt=no"
    !insertmacro ConnectionKind "Источник данных ODBC (DSN)" "DSN=Buh;UID=buh;PWD=..."
    !insertmacro ConnectionKind "Встроенная база SQLite рядом с программой" "Provider=SQLite;Data Source=buh.db"
!macroend

; The settings page: only when the folder has no MdbConnect.ini yet.
Function SettingsPage
    Call LookAtFolder
    ${If} $HasSettings == 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Настройки" "Файл ${SETTINGS}: подключение к базе и папка со счетами-фактурами"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 10u "Вид подключения к базе:"
    Pop $0
    ${NSD_CreateDropList} 0 12u 100% 80u ""
    Pop $KindList
    !define KINDS_LIST
    !insertmacro ConnectionKinds
    !undef KINDS_LIST
    ${NSD_OnChange} $KindList ConnectionKindChosen
    ${NSD_CreateLabel} 0 32u 100% 10u "Строка подключения (замените имена сервера, базы, пользователя и пароль на свои):"
    Pop $0
    ${NSD_CreateText} 0 44u 100% 13u "$Connection"
    Pop $ConnectionEdit
    ${NSD_CreateLabel} 0 66u 100% 10u "Папка, в которую выгружаются файлы ЭСЧФ:"
    Pop $0
    ${NSD_CreateText} 0 78u 82% 13u "$Folder"
    Pop $FolderEdit
    ${NSD_CreateBrowseButton} 84% 77u 16% 15u "Обзор..."
    Pop $0
    ${NSD_OnClick} $0 BrowseForFolder
    ${NSD_CreateLabel} 0 100u 100% 30u "Файл записывается в папку программы; его можно изменить позже. Оставьте строку подключения пустой, чтобы написать файл самому по образцу ${SETTINGS}.example."
    Pop $0
    nsDialogs::Show
FunctionEnd

Function ConnectionKindChosen
    Pop $1
    ${NSD_GetText} $KindList $0
    !insertmacro ConnectionKinds
    ${NSD_SetText} $ConnectionEdit $0
FunctionEnd

Function BrowseForFolder
    Pop $0
    ${NSD_GetText} $FolderEdit $0
    nsDialogs::SelectFolderDialog "Папка с файлами ЭСЧФ" "$0"
    Pop $0
    ${If} $0 != "error"
        ${NSD_SetText} $FolderEdit $0
    ${EndIf}
FunctionEnd

Function SettingsPageLeave
    ${NSD_GetText} $ConnectionEdit $Connection
    ${NSD_GetText} $FolderEdit $Folder
    ${If} $Connection != ""
    ${AndIf} $Folder == ""
        MessageBox MB_ICONEXCLAMATION "Выберите папку, в которую выгружаются файлы ЭСЧФ."
        Abort
    ${EndIf}
FunctionEnd

; The two lines in the ANSI code page, which is how the program reads the file on Windows; in UTF-8
; with a BOM (which it reads as well) when the code page cannot hold every character, as with a
; Cyrillic folder on a Windows set up for English.
Function WriteSettings
    StrCpy $1 $Folder 1 -1
    ${If} $1 != "\"
    ${AndIf} $1 != "/"
        StrCpy $Folder "$Folder\"
    ${EndIf}
    StrCpy $0 "$Connection$\r$\n$Folder$\r$\n"
    ; WC_NO_BEST_FIT_CHARS: a character the code page lacks must not pass as a look-alike.
    System::Call "kernel32::WideCharToMultiByte(i 0, i 0x400, w r0, i -1, p 0, i 0, p 0, *i .r1) i .r2"
    ClearErrors
    FileOpen $3 "$INSTDIR\${SETTINGS}" w
    ${If} ${Errors}
        DetailPrint "Не удалось записать $INSTDIR\${SETTINGS}"
        SetErrorLevel 2
        Return
    ${EndIf}
    ${If} $1 == 0
    ${AndIf} $2 != 0
        FileWrite $3 $0
        DetailPrint "Записан $INSTDIR\${SETTINGS}"
    ${Else}
        System::Call "kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p 0, i 0, p 0, p 0) i .r2"
        System::Alloc $2
        Pop $4
        System::Call "kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p r4, i r2, p 0, p 0)"
        IntOp $2 $2 - 1 ; without the terminating zero
        FileWriteByte $3 239
        FileWriteByte $3 187
        FileWriteByte $3 191
        System::Call "kernel32::WriteFile(p r3, p r4, i r2, *i 0, p 0)"
        System::Free $4
        DetailPrint "Записан $INSTDIR\${SETTINGS} (UTF-8: знаки вне кодовой страницы Windows)"
    ${EndIf}
    FileClose $3
FunctionEnd

Function FinishPageShow
    ; An upgrade keeps the desktop shortcut as it was; a first installation offers one.
    ${If} $Upgrade == 1
    ${AndIf} $WantDesktop == 0
        ${NSD_Uncheck} $mui.FinishPage.ShowReadme
    ${Else}
        ${NSD_Check} $mui.FinishPage.ShowReadme
    ${EndIf}
FunctionEnd

Function DesktopShortcutChosen
    SetOutPath "$INSTDIR"
    CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\eschf-loader.exe"
FunctionEnd

Section "install"
    Call LookAtFolder
    ${If} ${FileExists} "$DESKTOP\${SHORTCUT}"
        StrCpy $WantDesktop 1
    ${EndIf}
    ; The earlier version's own uninstaller takes away what it installed (files this version no
    ; longer has among them) and keeps the settings and whatever the organisation added.
    ${If} $Upgrade == 1
        DetailPrint "Удаляется прежняя версия, настройки остаются"
        ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
    ${EndIf}
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    ${If} $HasSettings == 1
        DetailPrint "${SETTINGS} остаётся как есть"
    ${ElseIf} $Connection != ""
        Call WriteSettings
    ${EndIf}
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    SetOutPath "$INSTDIR" ; the shortcuts' working folder
    CreateDirectory "$SMPROGRAMS\${PRODUCT_NAME}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT_NAME}\${SHORTCUT}" "$INSTDIR\eschf-loader.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT_NAME}\${FOLDER_SHORTCUT}" "$INSTDIR"
    ${If} ${Silent}
    ${AndIf} $WantDesktop == 1
        CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\eschf-loader.exe"
    ${EndIf}

    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${PRODUCT_NAME}"
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
    WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PRODUCT_PUBLISHER}"
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\eschf-loader.exe,0"
    WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    ; Installed for all users when the machine-wide entry names this folder.
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        !insertmacro IsElevated $AllUsers
        ${If} $AllUsers == 0
            MessageBox MB_ICONSTOP "Программа установлена для всех пользователей: удалить её может только администратор." /SD IDOK
            SetErrorLevel 740
            Quit
        ${EndIf}
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd

Section "uninstall"
    ; What the installer put here, listed from the same staged folder; the settings, a download
    ; script and anything else the organisation added stay.
    !include "${REMOVE_NSH}"
    ; The demo database's companions, left by a run that ended abruptly.
    Delete "$INSTDIR\demo\demo.db-wal"
    Delete "$INSTDIR\demo\demo.db-shm"
    Delete "$INSTDIR\demo\demo.db-journal"
    RMDir "$INSTDIR\demo\invoices"
    RMDir "$INSTDIR\demo"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\${PRODUCT_NAME}\${SHORTCUT}"
    Delete "$SMPROGRAMS\${PRODUCT_NAME}\${FOLDER_SHORTCUT}"
    RMDir "$SMPROGRAMS\${PRODUCT_NAME}"
    ; During an upgrade the new installer puts the desktop shortcut back when there was one.
    Delete "$DESKTOP\${SHORTCUT}"
    DeleteRegKey SHCTX "${UNINST_KEY}"

    ${If} ${FileExists} "$INSTDIR\*"
        DetailPrint "Папка $INSTDIR оставлена: в ней ${SETTINGS} и файлы, добавленные после установки"
        MessageBox MB_ICONINFORMATION "Программа удалена. Папка $INSTDIR оставлена: в ней файл настроек ${SETTINGS} и файлы, добавленные после установки." /SD IDOK
    ${EndIf}
SectionEnd
