// Counts its loads, reports every key but the modifiers and what the field holds.
var loads = Number(sessionStorage.getItem('loads') || 0) + 1, field = document.getElementById('field');
sessionStorage.setItem('loads', loads);
report('loaded ' + loads);
field.focus();
document.addEventListener('keydown', function (k) {
    if (['Control', 'Shift', 'Alt', 'Meta'].indexOf(k.key) < 0)
        report('key ' + (k.ctrlKey ? 'ctrl+' : '') + (k.altKey ? 'alt+' : '') + k.key);
}, true);
field.addEventListener('input', function () { report('typed ' + field.value); });
report('done');
