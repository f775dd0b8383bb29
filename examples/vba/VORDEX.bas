Attribute VB_Name = "VORDEX"
' VORDEX.dll for VBA 7 (Office 2010 or later), 32-bit and 64-bit alike: the
' 17 functions of vordex.h, a loader, helpers that turn the texts they hand
' out into VBA strings, and an example. Import it in the VBA editor (File,
' Import File) and put VORDEX.dll in the workbook's folder: the DLL of the
' win32 archive for 32-bit Office, of the win64 archive for 64-bit Office.
' Call VordexLoad once before the other functions.
'
' Texts go in as VBA passes a String to a DLL: ANSI text of the system's code
' page (CP932 on a Japanese system), which is what the library expects. Texts
' come back as pointers to the library's own bytes, valid until the next call
' that changes them: VordexText copies one into a String.
Option Explicit

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

Private Declare PtrSafe Function LoadLibraryW Lib "kernel32" (ByVal path As LongPtr) As LongPtr
Private Declare PtrSafe Function lstrlenA Lib "kernel32" (ByVal text As LongPtr) As Long
Private Declare PtrSafe Sub RtlMoveMemory Lib "kernel32" (ByRef target As Any, ByVal source As LongPtr, ByVal bytes As LongPtr)

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

' A text the library handed out, as a String: its bytes read in the system's
' code page. The empty text for a null pointer.
Public Function VordexText(ByVal pointer As LongPtr) As String
    Dim length As Long
    Dim bytes() As Byte
    If pointer = 0 Then Exit Function
    length = lstrlenA(pointer)
    If length = 0 Then Exit Function
    ReDim bytes(0 To length - 1)
    RtlMoveMemory bytes(0), pointer, length
    VordexText = StrConv(bytes, vbUnicode)
End Function

' The values of the current row, split at the 0x1E that VORDEX_ListText puts
' after each one; an empty array when there is no row or the row did not fit.
Public Function VordexRow() As Variant
    Dim buffer As String
    Dim count As Long
    buffer = String$(8192, vbNullChar)
    count = VORDEX_ListText(buffer, Len(buffer))
    If count = 0 Or count = Len(buffer) Then
        VordexRow = Array()
        Exit Function
    End If
    buffer = Left$(buffer, InStr(buffer, vbNullChar) - 1)
    VordexRow = Split(Left$(buffer, Len(buffer) - 1), Chr$(30))
End Function

' Lists the tables into column A of the active sheet, reads the first one
' into the columns beside it (a header row, then each row), and writes the
' text "checked" into the last column of its first row where the table can
' be written.
Public Sub VordexExample()
    Dim tables As Long, columns As Long, field As Long, row As Long
    Dim values As Variant
    If Not VordexLoad() Then
        MsgBox "VORDEX.dll is neither in the workbook's folder nor on the search path."
        Exit Sub
    End If
    tables = VORDEX_Table()
    If tables = 0 Then Exit Sub
    For row = 0 To tables - 1
        Cells(row + 1, 1).Value = VordexText(VORDEX_GetTableList(row))
    Next row
    columns = VORDEX_Open(VordexText(VORDEX_GetTableList(0)))
    If columns > 32 Then columns = 32
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
    If VORDEX_Seek(0) <> 0 And VORDEX_CanUpdate(columns - 1) <> 0 Then
        If VORDEX_Update(columns - 1, "checked") = 0 Then MsgBox "The write was refused."
    End If
    VORDEX_Close
End Sub
