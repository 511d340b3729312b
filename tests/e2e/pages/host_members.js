// The bridge as a page sees it: the members' names and values, and a member kept after the object is gone.
var e = window.external;
report('isdte ' + e.DTE_IsDTE() + ' ' + (e.DTE_IsDTE ? 'truthy' : 'falsy') + ' ' + e.DTE_GetVersion());
report('unknown ' + typeof e.DTE_Nothing + ' ' + typeof e.DTE_ISDTE + ' ' + typeof e.dte_getversion);
report('status ' + e.DTE_tsStatus + ' ' + e.DTE_upStatus + ' ' + e.DTE_norStatus + ' [' + e.DTE_xhResponse + ']');
report('break ' + e.DTE_BreakAsyncOperation());
report('cl [' + e.DTE_clFileName + '] [' + e.DTE_clFileName + '] dialog [' + e.DTE_GetDialogArgument() + ']');
[['kept', 'extra', 3], [42], ['before\u0000after'], ['Grüße 🎵']].forEach(function (args) {
    e.DTE_SetDialogRetValue.apply(e, args);
    report('retvalue [' + e.DTE_GetDialogArgument() + ']');
});
var f = e.DTE_GetVersion;
window.external = null;
report('kept function ' + f());
window.external = e;
report('size ' + window.innerWidth + 'x' + window.innerHeight);
