// The page's side of the web platform (console/platform_web.cpp), linked in
// front of the game's module: the bytes between the game and the terminal on
// the page (window.term), the keyboard protocol the game asks for, the slot
// files in IndexedDB, and the end of the game.
var term = Module.term;
var inputQueue = [];        // bytes waiting for the game
var keyFlags = [];          // the keyboard protocol's pushed flags
var encoder = new TextEncoder();
var gameOver = false;       // nothing is queued for a game that has ended

function send(text) {
  if (gameOver) return;
  var bytes = encoder.encode(text);
  for (var i = 0; i < bytes.length; i++) inputQueue.push(bytes[i]);
}

Module.kotodamaWrite = function (bytes) { term.write(bytes); };
Module.kotodamaPending = function () { return inputQueue.length > 0 ? 1 : 0; };
Module.kotodamaRead = function (buffer) {
  var n = Math.min(buffer.length, inputQueue.length);
  for (var i = 0; i < n; i++) buffer[i] = inputQueue[i];
  inputQueue.splice(0, n);
  return n;
};

// The keyboard protocol, as a terminal that knows it answers: the query
// (CSI ? u), pushing flags (CSI > flags u) and popping them (CSI < u).
term.parser.registerCsiHandler({ prefix: '?', final: 'u' }, function () {
  send('\x1b[?' + (keyFlags.length ? keyFlags[keyFlags.length - 1] : 0) + 'u');
  return true;
});
term.parser.registerCsiHandler({ prefix: '>', final: 'u' }, function (params) {
  keyFlags.push(params.length ? params[0] : 0);
  return true;
});
term.parser.registerCsiHandler({ prefix: '<', final: 'u' }, function (params) {
  var n = Math.max(1, params.length ? params[0] : 1);
  keyFlags.splice(Math.max(0, keyFlags.length - n), n);
  return true;
});

// The flags in force, for the browser test.
window.kotodamaKeyFlags = function () { return keyFlags.length ? keyFlags[keyFlags.length - 1] : 0; };

// Keys the protocol names by a letter (CSI 1;mods:event letter) or a number
// (CSI number;mods:event u / ~).
var letterKeys = { ArrowUp: 'A', ArrowDown: 'B', ArrowRight: 'C', ArrowLeft: 'D', Home: 'H', End: 'F',
                   F1: 'P', F2: 'Q', F4: 'S' };
var numberKeys = { Enter: [13, 'u'], Escape: [27, 'u'], Tab: [9, 'u'], Backspace: [127, 'u'],
                   Insert: [2, '~'], Delete: [3, '~'], PageUp: [5, '~'], PageDown: [6, '~'],
                   F3: [13, '~'], F5: [15, '~'], F6: [17, '~'], F7: [18, '~'], F8: [19, '~'],
                   F9: [20, '~'], F10: [21, '~'], F11: [23, '~'], F12: [24, '~'] };

// The sequence for one keydown (press or auto-repeat) or keyup, or null for
// a key the protocol leaves to the terminal.
function keySequence(ev) {
  var event = ev.type === 'keyup' ? 3 : ev.repeat ? 2 : 1;
  var mods = 1 + (ev.shiftKey ? 1 : 0) + (ev.altKey ? 2 : 0) + (ev.ctrlKey ? 4 : 0) + (ev.metaKey ? 8 : 0);
  var tail = mods === 1 && event === 1 ? '' : mods + (event === 1 ? '' : ':' + event);
  if (letterKeys[ev.key]) return '\x1b[' + (tail ? '1;' + tail : '') + letterKeys[ev.key];
  var number = numberKeys[ev.key];
  if (!number && ev.key.length === 1) number = [ev.key.toLowerCase().codePointAt(0), 'u'];
  if (!number) return null;
  return '\x1b[' + number[0] + (tail ? ';' + tail : '') + number[1];
}

term.attachCustomKeyEventHandler(function (ev) {
  var flags = keyFlags.length ? keyFlags[keyFlags.length - 1] : 0;
  if (!(flags & 8) || (ev.type !== 'keydown' && ev.type !== 'keyup') || ev.isComposing) return true;
  var sequence = keySequence(ev);
  if (sequence === null) return true;
  if (ev.type === 'keyup' && !(flags & 2)) return false;
  send(sequence);
  ev.preventDefault();
  return false;
});
term.onData(send);
term.onBinary(function (data) {
  if (gameOver) return;
  for (var i = 0; i < data.length; i++) inputQueue.push(data.charCodeAt(i) & 255);
});

// The slot files live in IndexedDB, in the working folder /save; whatever
// the game writes there (the save's temporary file and its rename) is synced
// to storage as soon as the game has finished with it.
var syncing = false, syncAgain = false;
function syncSaves() {
  if (syncing) { syncAgain = true; return; }
  syncing = true;
  FS.syncfs(false, function () {
    syncing = false;
    if (Module.onSaved) Module.onSaved();
    if (syncAgain) { syncAgain = false; syncSaves(); }
  });
}
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  FS.mkdir('/save');
  FS.mount(IDBFS, {}, '/save');
  FS.chdir('/save');
  addRunDependency('kotodama-saves');
  FS.syncfs(true, function () { removeRunDependency('kotodama-saves'); });
  // A save ends with the rename of its temporary file over the slot file.
  var rename = FS.rename, unlink = FS.unlink;
  FS.rename = function () { var r = rename.apply(FS, arguments); syncSaves(); return r; };
  FS.unlink = function () { var r = unlink.apply(FS, arguments); syncSaves(); return r; };
});

// The end of the game, however it comes: END (main returns), an exit (the
// fatal stops), an abort, or an error. The terminal is given
// back (mouse reports off, colours reset, the caret shown, the main screen
// again), and the page is told once, with the status (-1: aborted).
var leaveSequence = '\x1b[?1006l\x1b[?1003l\x1b[?1000l\x1b[0m\x1b[?25h\x1b[H\x1b[2J\x1b[?1049l';
function endGame(status) {
  if (gameOver) return;
  gameOver = true;
  inputQueue.length = 0;
  keyFlags.length = 0;
  term.write(leaveSequence);
  if (Module.onGameEnd) Module.onGameEnd(status);
}
Module.onExit = endGame;
Module.onAbort = function () { endGame(-1); };
// An error nothing caught has stopped the game (a game resumed by IndexedDB
// after a save runs outside the runtime's own error handling). An exit leaves
// an ExitStatus uncaught too, once onExit has been called.
window.addEventListener('error', function (event) {
  if (!(event.error instanceof ExitStatus)) endGame(1);
});
