' Merges a page as a VBScript host does: CreateObject by the ProgID, then
' ocxwebKiv with the script's variables (passed by reference as VARIANTs).
' Prints "wkcycle=2 args-kept" after a good call. Wine's cscript shows no
' script errors: every step checks Err and ends with its own exit code.
On Error Resume Next
Dim o, r, s, d, e
Set o = CreateObject("Dorvane.ctlMessage")
If Err.Number <> 0 Then
  WScript.Echo "CreateObject: " & Err.Number & " " & Err.Description
  WScript.Quit 2
End If
r = WScript.Arguments(0) : s = WScript.Arguments(1) : d = WScript.Arguments(2) : e = ""
o.ocxwebKiv r, s, d, e
If Err.Number <> 0 Then
  WScript.Echo "ocxwebKiv: " & Err.Number & " " & Err.Description
  WScript.Quit 3
End If
If r = WScript.Arguments(0) And e = "" Then WScript.Echo "wkcycle=" & o.wkcycle & " args-kept"
WScript.Quit 0
