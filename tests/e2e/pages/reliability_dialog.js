// The value is stored before the report, so a kill after the report always finds it.
var e = window.external, seen = e.DTE_GetDialogArgument();
if (seen == 'start') e.DTE_SetDialogRetValue('loaded once');
report('dialog ' + seen);
if (seen != 'start') { e.DTE_SetDialogRetValue('recovered'); e.DTE_CloseWindow(); }
