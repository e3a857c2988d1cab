' Merges the running spreadsheet application's active sheet as a user's
' macro does: CreateObject by the ProgID, then ocxKiv with the script's
' variables. Arguments: KIVDB KIVDB2; KIVDB2 "-" stands for "" (no secondary
' database). Prints "wkcycle=2 excel-cleared=True ms=N" after the call (N:
' the call's milliseconds).
On Error Resume Next
Dim o, d, e, t
Set o = CreateObject("Dorvane.ctlMessage")
If Err.Number <> 0 Then
  WScript.Echo "CreateObject: " & Err.Number & " " & Err.Description
  WScript.Quit 2
End If
d = WScript.Arguments(0) : e = WScript.Arguments(1)
If e = "-" Then e = ""
t = Timer
o.ocxKiv d, e
t = Int((Timer - t) * 1000)
If Err.Number <> 0 Then
  WScript.Echo "ocxKiv: " & Err.Number & " " & Err.Description
  WScript.Quit 3
End If
WScript.Echo "wkcycle=" & o.wkcycle & " excel-cleared=" & (o.objExcel Is Nothing And _
  o.objWorkbook Is Nothing And o.objWorksheet Is Nothing) & " ms=" & t
WScript.Quit 0
