Attribute VB_Name = "VORDEX"
' VORDEX.dll for VBA 7 (Office 2010 or later), 32-bit and 64-bit alike: the
' 17 functions of vordex.h, a loader, the settings, helpers that turn the
' texts they hand out into VBA strings and back, and an example. Import it in
' the VBA editor (File, Import File) and put VORDEX.dll in the workbook's
' folder: the DLL of the win32 archive for 32-bit Office, of the win64
' archive for 64-bit Office. Call VordexLoad once before the other functions.
'
' The library's texts are in its code page: the system's ANSI code page
' (CP932 on a Japanese system), or UTF-8 after VordexSetCodePage 65001, which
' holds text in any language on any Windows. VordexText, VordexRow,
' VordexOpen and VordexUpdate convert between that code page and VBA's
' Strings; the VORDEX_ declarations themselves pass a String as VBA does, in
' the system's ANSI code page, and hand texts out as pointers to the library's
' own bytes, valid until the next call that changes them.
Option Explicit

' The library's limits: the values of the first 32 columns, at most 255 bytes
' each. VORDEX_ListText writes each value followed by the byte 0x1E, then a
' NUL, and lists a value only where a byte is left after its 0x1E and the
' NUL: the largest row needs VORDEX_ROW_BYTES, as the library's C example.
Public Const VORDEX_MAX_FIELDS As Long = 32
Public Const VORDEX_MAX_VALUE_BYTES As Long = 255
Public Const VORDEX_ROW_BYTES As Long = VORDEX_MAX_FIELDS * (VORDEX_MAX_VALUE_BYTES + 1) + 2

Public Declare PtrSafe Function VORDEX_GetVersion Lib "VORDEX.dll" () As Long
Public Declare PtrSafe Function VORDEX_IsOpen Lib "VORDEX.dll" () As Long
Public Declare PtrSafe Sub VORDEX_Close Lib "VORDEX.dll" ()
Public Declare PtrSafe Function VORDEX_Table Lib "VORDEX.dll" () As Long
Public Declare PtrSafe Function VORDEX_GetTableList Lib "VORDEX.dll" (ByVal index As Long) As LongPtr
Public Declare PtrSafe Function VORDEX_GetDirName Lib "VORDEX.dll" () As LongPtr
Public Declare PtrSafe Function VORDEX_Open Lib "VORDEX.dll" (ByVal tableName As String) As Long
Public Declare PtrSafe Function VORDEX_GetNameList Lib "VORDEX.dll" (ByVal index As Long) As LongPtr
Public Declare PtrSafe Function VORDEX_OpenRec Lib "VORDEX.dll" () As Long
Public Declare PtrSafe Sub VORDEX_CloseRec Lib "VORDEX.dll" ()
Public Declare PtrSafe Function VORDEX_IsEOF Lib "VORDEX.dll" () As Long
Public Declare PtrSafe Function VORDEX_MoveNext Lib "VORDEX.dll" () As Long
Public Declare PtrSafe Function VORDEX_Seek Lib "VORDEX.dll" (ByVal row As Long) As Long
Public Declare PtrSafe Function VORDEX_GetData Lib "VORDEX.dll" (ByVal index As Long) As LongPtr
Public Declare PtrSafe Function VORDEX_ListText Lib "VORDEX.dll" (ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function VORDEX_CanUpdate Lib "VORDEX.dll" (ByVal index As Long) As Long
Public Declare PtrSafe Function VORDEX_Update Lib "VORDEX.dll" (ByVal index As Long, ByVal value As String) As Long

' The same functions taking bytes the module has converted itself.
Private Declare PtrSafe Function VordexOpenBytes Lib "VORDEX.dll" Alias "VORDEX_Open" (ByVal tableName As LongPtr) As Long
Private Declare PtrSafe Function VordexListBytes Lib "VORDEX.dll" Alias "VORDEX_ListText" (ByVal buffer As LongPtr, ByVal size As Long) As Long
Private Declare PtrSafe Function VordexUpdateBytes Lib "VORDEX.dll" Alias "VORDEX_Update" (ByVal index As Long, ByVal value As LongPtr) As Long

Private Declare PtrSafe Function LoadLibraryW Lib "kernel32" (ByVal path As LongPtr) As LongPtr
Private Declare PtrSafe Function lstrlenA Lib "kernel32" (ByVal text As LongPtr) As Long
Private Declare PtrSafe Function SetEnvironmentVariableW Lib "kernel32" (ByVal variable As LongPtr, ByVal value As LongPtr) As Long
Private Declare PtrSafe Function GetEnvironmentVariableW Lib "kernel32" (ByVal variable As LongPtr, ByVal buffer As LongPtr, ByVal size As Long) As Long
Private Declare PtrSafe Function MultiByteToWideChar Lib "kernel32" (ByVal codePage As Long, ByVal flags As Long, ByVal text As LongPtr, ByVal bytes As Long, ByVal wide As LongPtr, ByVal chars As Long) As Long
Private Declare PtrSafe Function WideCharToMultiByte Lib "kernel32" (ByVal codePage As Long, ByVal flags As Long, ByVal wide As LongPtr, ByVal chars As Long, ByVal text As LongPtr, ByVal bytes As Long, ByVal defaultChar As LongPtr, ByVal usedDefault As LongPtr) As Long

Private Const CP_ACP As Long = 0
Private Const CP_UTF8 As Long = 65001

' Loads VORDEX.dll from the workbook's folder, where the Declare lines above
' would not look (they search the program's folder, the system folders and
' PATH); once loaded, they find it by its name. The path goes as UTF-16, so
' a folder named in Japanese or with blanks loads too. Where the workbook's
' folder has no VORDEX.dll (or is no folder: a workbook not yet saved, one
' on a web address), the search path is tried. True when the DLL is loaded.
' In Word or Access, use ThisDocument.Path or CurrentProject.Path.
Public Function VordexLoad() As Boolean
    Static module As LongPtr
    If module = 0 And Len(ThisWorkbook.Path) > 0 Then
        module = LoadLibraryW(StrPtr(ThisWorkbook.Path & "\VORDEX.dll"))
    End If
    If module = 0 Then module = LoadLibraryW(StrPtr("VORDEX.dll"))
    VordexLoad = module <> 0
End Function

' The connect string the library's next connection uses (VORDEX_CONNECT),
' for example "DSN=Sales": set in the process's environment, where the
' library reads it when it connects, so it may change between two calls of
' VORDEX_Table. VBA's Environ and Windows' own environment differ: only this
' reaches the library. An empty string removes it (ODBC's dialog chooses).
' It reaches the driver in the system's ANSI code page. True when it is set.
Public Function VordexConnect(ByVal connectString As String) As Boolean
    VordexConnect = SetEnvironmentVariableW(StrPtr("VORDEX_CONNECT"), StrPtr(connectString)) <> 0
End Function

' The library's code page from its next connection on (VORDEX_CODEPAGE):
' 65001 for UTF-8, 932 for CP932, 0 for the system's ANSI code page.
Public Sub VordexSetCodePage(ByVal codePage As Long)
    If codePage = CP_ACP Then
        SetEnvironmentVariableW StrPtr("VORDEX_CODEPAGE"), 0
    Else
        SetEnvironmentVariableW StrPtr("VORDEX_CODEPAGE"), StrPtr(CStr(codePage))
    End If
End Sub

' The code page the library's texts are in, as the library chooses it:
' 65001 or 932 where VORDEX_CODEPAGE says so, else 0 (CP_ACP), the system's
' ANSI code page.
Public Function VordexCodePage() As Long
    Dim setting As String
    Dim length As Long
    setting = String$(16, vbNullChar)
    length = GetEnvironmentVariableW(StrPtr("VORDEX_CODEPAGE"), StrPtr(setting), 16)
    If length < 16 Then setting = Left$(setting, length) Else setting = ""
    Select Case setting
        Case "65001"
            VordexCodePage = CP_UTF8
        Case "932"
            VordexCodePage = 932
        Case Else
            VordexCodePage = CP_ACP
    End Select
End Function

' `length` bytes of the library's at `pointer` as a String.
Private Function FromLibrary(ByVal pointer As LongPtr, ByVal length As Long) As String
    Dim codePage As Long, chars As Long
    Dim wide As String
    If pointer = 0 Or length <= 0 Then Exit Function
    codePage = VordexCodePage()
    chars = MultiByteToWideChar(codePage, 0, pointer, length, 0, 0)
    If chars <= 0 Then Exit Function
    wide = String$(chars, vbNullChar)
    MultiByteToWideChar codePage, 0, pointer, length, StrPtr(wide), chars
    FromLibrary = wide
End Function

' `text` in the library's code page, with the NUL after it. A character that
' code page lacks becomes "?".
Private Function ToLibrary(ByVal text As String) As Byte()
    Dim codePage As Long, length As Long
    Dim bytes() As Byte
    codePage = VordexCodePage()
    If Len(text) > 0 Then length = WideCharToMultiByte(codePage, 0, StrPtr(text), Len(text), 0, 0, 0, 0)
    ReDim bytes(0 To length)
    If length > 0 Then WideCharToMultiByte codePage, 0, StrPtr(text), Len(text), VarPtr(bytes(0)), length, 0, 0
    ToLibrary = bytes
End Function

' A text the library handed out, as a String. The empty text for a null
' pointer.
Public Function VordexText(ByVal pointer As LongPtr) As String
    If pointer = 0 Then Exit Function
    VordexText = FromLibrary(pointer, lstrlenA(pointer))
End Function

' VORDEX_Open with the table's name converted into the library's code page.
Public Function VordexOpen(ByVal tableName As String) As Long
    Dim bytes() As Byte
    bytes = ToLibrary(tableName)
    VordexOpen = VordexOpenBytes(VarPtr(bytes(0)))
End Function

' VORDEX_Update with the value converted into the library's code page.
Public Function VordexUpdate(ByVal index As Long, ByVal value As String) As Long
    Dim bytes() As Byte
    bytes = ToLibrary(value)
    VordexUpdate = VordexUpdateBytes(index, VarPtr(bytes(0)))
End Function

' The values of the current row, split at the 0x1E that VORDEX_ListText puts
' after each one; an empty array when there is no row or the row did not fit
' (it always fits: the buffer holds the largest row).
Public Function VordexRow() As Variant
    Dim buffer() As Byte
    Dim count As Long, length As Long
    Dim text As String
    ReDim buffer(0 To VORDEX_ROW_BYTES - 1)
    count = VordexListBytes(VarPtr(buffer(0)), VORDEX_ROW_BYTES)
    If count = 0 Or count = VORDEX_ROW_BYTES Then
        VordexRow = Array()
        Exit Function
    End If
    length = lstrlenA(VarPtr(buffer(0)))
    ' Without the 0x1E after the last value; one value may be empty.
    text = FromLibrary(VarPtr(buffer(0)), length - 1)
    If count = 1 Then VordexRow = Array(text) Else VordexRow = Split(text, Chr$(30))
End Function

' Lists the tables into column A of the active sheet and reads the first one
' into the columns beside it (a header row, then each row). It only reads:
' set WRITE_BACK to True for it to offer to write the text "checked" into the
' last listed field of the first row, where the table can be written.
Public Sub VordexExample()
    Const WRITE_BACK As Boolean = False
    Dim tables As Long, columns As Long, field As Long, row As Long
    Dim values As Variant
    Dim firstTable As String, lastField As String
    If Not VordexLoad() Then
        MsgBox "VORDEX.dll is neither in the workbook's folder nor on the search path."
        Exit Sub
    End If
    tables = VORDEX_Table()
    If tables = 0 Then Exit Sub
    For row = 0 To tables - 1
        Cells(row + 1, 1).Value = VordexText(VORDEX_GetTableList(row))
    Next row
    firstTable = VordexText(VORDEX_GetTableList(0))
    columns = VordexOpen(firstTable)
    If columns > VORDEX_MAX_FIELDS Then columns = VORDEX_MAX_FIELDS
    If columns = 0 Then Exit Sub
    For field = 0 To columns - 1
        Cells(1, field + 3).Value = VordexText(VORDEX_GetNameList(field))
    Next field
    If VORDEX_OpenRec() = 0 Then Exit Sub
    row = 2
    Do While VORDEX_IsEOF() = 0
        values = VordexRow()
        For field = 0 To UBound(values)
            Cells(row, field + 3).Value = values(field)
        Next field
        row = row + 1
        If VORDEX_MoveNext() = 0 Then Exit Do
    Loop
    If WRITE_BACK Then
        If VORDEX_Seek(0) <> 0 And VORDEX_CanUpdate(columns - 1) <> 0 Then
            lastField = VordexText(VORDEX_GetNameList(columns - 1))
            If MsgBox("Write ""checked"" into " & lastField & " of the first row of " & firstTable & "?", _
                      vbOKCancel Or vbQuestion, "VORDEX") = vbOK Then
                If VordexUpdate(columns - 1, "checked") = 0 Then MsgBox "The write was refused."
            End If
        End If
    End If
    VORDEX_Close
End Sub
