// A page from elsewhere: reports "LABEL <its bridge> <its parent's bridge>".
var seen = typeof (window.external && window.external.DTE_IsDTE), parentSeen;
try { parentSeen = typeof parent.external.DTE_IsDTE; } catch (e) { parentSeen = 'blocked'; }
report(LABEL + ' ' + seen + ' ' + parentSeen);
