// Every member but the modal ones (MEMBERS), every kind of value in every count up to four.
var e = window.external, threw = 0;
var VALUES = [undefined, null, true, 0, NaN, Math.pow(2, 40), '', 'nul\u0000after', 'line\nbreak',
              '\ud83c\udfb5', {toString: function () { return 'obj'; }}, [1, [2]], function () {}];
MEMBERS.forEach(function (name) {
    if (/^DTE_(Show|MessageBox|SelectMediaFile|CloseWindow|NavigateURL)/.test(name)) return;
    for (var count = 0; count <= 4; count++) VALUES.forEach(function (v, shift) {
        var args = VALUES.concat(VALUES).slice(shift, shift + count);
        try { var m = e[name]; if (typeof m == 'function') m.apply(e, args); } catch (x) { threw++; }
    });
});
report('hostile calls threw ' + threw + ' ' + e.DTE_GetVersion());
