// Transcodes, then normalizes, each of NAMES in DIR in turn: "ended <ts> <reason> <nor>", then "done".
var e = window.external, at = 0;
function next() {
    if (at == NAMES.length) return report('done');
    var name = NAMES[at++];
    e.DTE_TranscodeMedia(DIR + name, name);
    poll('DTE_tsStatus', function (v) { return v != 0; }, function (ts) {
        ts += ' ' + e.DTE_tsReason;
        e.DTE_NormalizeAudio(DIR + name);
        poll('DTE_norStatus', function (v) { return v == 100 || v > 200; },
             function (nor) { report('ended ' + ts + ' ' + nor); next(); });
    });
}
next();
