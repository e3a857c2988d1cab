// Merges a page as a JScript host does (see merge.vbs). JScript passes its
// variables by value.
var o, args = WScript.Arguments;
try {
  o = new ActiveXObject("Dorvane.ctlMessage");
} catch (e) {
  WScript.Echo("new ActiveXObject: " + (e.number & 0xFFFF) + " " + e.description);
  WScript.Quit(2);
}
try {
  o.ocxwebKiv(args(0), args(1), args(2), "");
} catch (e) {
  WScript.Echo("ocxwebKiv: " + (e.number & 0xFFFF) + " " + e.description);
  WScript.Quit(3);
}
WScript.Echo("wkcycle=" + o.wkcycle);
WScript.Quit(0);
