// Counts its loads in the app's dialog value; after its third it opens a dialog and closes when it returns.
var e = window.external;
e.DTE_SetDialogRetValue(e.DTE_GetDialogArgument() + 'x');
report('up ' + e.DTE_GetVersion() + ' ' + e.DTE_GetDialogArgument());
setInterval(function () { e.DTE_GetVersion(); void e.DTE_tsStatus; }, 5);
if (e.DTE_GetDialogArgument() == 'xxx') setTimeout(function () {
    report('returned ' + e.DTE_ShowModalDialog('Crash', 'dlg.html', 'start', 100, 100, 300, 200));
    e.DTE_CloseWindow();
}, 200);
