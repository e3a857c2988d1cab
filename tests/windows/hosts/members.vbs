' The members as a VBScript host sees them: properties read and written, the
' Japanese methods by name, curdbloc not there, and the errors in Err.
' Prints one line per check: "name value".
On Error Resume Next
Dim o
Set o = CreateObject("Dorvane.ctlMessage")
o.ocxwebKiv WScript.Arguments(0), WScript.Arguments(1), WScript.Arguments(2), ""
WScript.Echo "wkcycle " & o.wkcycle
o.wkcycle = 1
WScript.Echo "wkcycle-written " & o.wkcycle
WScript.Echo "text-has-value " & (InStr(o.text, "<TD>200</TD>") > 0)
o.text = "abc"
WScript.Echo "text-written " & o.text
WScript.Echo "kivdb-set " & (Not (o.kivdb Is Nothing))
Set o.kivdb = Nothing
WScript.Echo "kivdb-cleared " & (o.kivdb Is Nothing)
Err.Clear
o.WEB明細型
WScript.Echo "web-detail-by-name " & Err.Number
Err.Clear
Dim x : x = o.curdbloc
WScript.Echo "curdbloc " & Err.Number
Err.Clear
o.wkcycle = 0
o.ocxKiv WScript.Arguments(2), ""
WScript.Echo "ocxKiv " & Err.Number & " " & o.wkcycle & " " & (o.objExcel Is Nothing)
Err.Clear
o.wkcycle = 70000
WScript.Echo "overflow " & Err.Number & " " & Err.Description
Err.Clear
o.ocxwebKiv Null, "b", "c", ""
WScript.Echo "null-argument " & Err.Number & " " & Err.Description
WScript.Quit 0
