// The page's side of the web platform (console/platform_web.cpp), linked in
// front of the game's module: the bytes between the game and the terminal on
// the page (window.term), the keyboard protocol the game asks for, the slot
// files in IndexedDB, and the end of the game.
var term = Module.term;
var inputQueue = [];        // bytes waiting for the game
var keyFlags = [];          // the keyboard protocol's pushed flags
var encoder = new TextEncoder();
var gameOver = false;       // nothing is queued for a game that has ended

var wake = null;            // ends the game's wait (Module.kotodamaWait)
var hiddenOutput = [];      // what the game drew while the page was hidden

function send(text) {
  if (gameOver) return;
  var bytes = encoder.encode(text);
  for (var i = 0; i < bytes.length; i++) inputQueue.push(bytes[i]);
  if (wake) wake();
}

// A hidden page draws nothing: the output waits until it is shown.
function showHiddenOutput() {
  hiddenOutput.forEach(function (bytes) { term.write(bytes); });
  hiddenOutput = [];
}
Module.kotodamaWrite = function (bytes) {
  if (document.hidden) { hiddenOutput.push(bytes); return; }
  if (hiddenOutput.length) showHiddenOutput();
  term.write(bytes);
};
// The game waits (its call stack put aside) until the promise made by
// `start` settles, and goes on with its value as the runtime's own timers
// resume it, so that a game that ends then ends the page's way. `start` runs
// once: the second call of a wait is the game resuming.
Module.kotodamaResumeAfter = function (start) {
  return Asyncify.handleSleep(function (wakeUp) {
    start().then(function (value) { callUserCallback(function () { wakeUp(value); }); });
  });
};
Module.kotodamaWait = function (ms) {
  return new Promise(function (resolve) {
    // Hidden, the game looks again once a second at most (the page may be
    // shown without saying so).
    var timer = setTimeout(function () { wake(); }, document.hidden ? Math.max(ms, 1000) : ms);
    wake = function () { clearTimeout(timer); wake = null; resolve(); };
  });
};
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
// (CSI number;mods:event u / ~). The game's tests decode every entry of these
// tables and of plainKeys below (tests/console/web_page_keys_test.cpp).
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

// The browser keeps its own keys: F5, F11, F12, and Ctrl or Meta with any
// key but those the game reads (the arrows, Enter, Escape, Backspace, and
// Ctrl+D, Ctrl+U and Ctrl+L).
var gameKeys = { ArrowUp: 1, ArrowDown: 1, ArrowLeft: 1, ArrowRight: 1, Enter: 1, Escape: 1, Backspace: 1 };
function browserKey(ev) {
  if (ev.key === 'F5' || ev.key === 'F11' || ev.key === 'F12') return true;
  if (ev.metaKey) return !gameKeys[ev.key];
  return ev.ctrlKey && !gameKeys[ev.key] && !/^[dul]$/i.test(ev.key);
}

// Keys reported pressed and not yet released, by name: let go when the page
// loses the keyboard.
var heldKeys = {};
function reportKey(ev) {
  var flags = keyFlags.length ? keyFlags[keyFlags.length - 1] : 0;
  var sequence = keySequence(ev);
  if (sequence === null) return false;
  if (ev.type === 'keyup') {
    if (!heldKeys[ev.key]) return true;
    delete heldKeys[ev.key];
    if (flags & 2) send(sequence);
    return true;
  }
  if (flags & 2) heldKeys[ev.key] = ev;
  send(sequence);
  return true;
}
function releaseKeys() {
  Object.keys(heldKeys).forEach(function (key) {
    var ev = heldKeys[key];
    reportKey({ type: 'keyup', key: key, shiftKey: ev.shiftKey, altKey: ev.altKey, ctrlKey: ev.ctrlKey,
                metaKey: ev.metaKey });
  });
}
window.addEventListener('blur', releaseKeys);
window.addEventListener('pagehide', releaseKeys);
document.addEventListener('visibilitychange', function () {
  if (document.hidden) { releaseKeys(); return; }
  showHiddenOutput();
  if (wake) wake();
});

term.attachCustomKeyEventHandler(function (ev) {
  if (browserKey(ev)) return false;
  var flags = keyFlags.length ? keyFlags[keyFlags.length - 1] : 0;
  if (!(flags & 8) || (ev.type !== 'keydown' && ev.type !== 'keyup') || ev.isComposing) return true;
  if (!reportKey(ev)) return true;
  ev.preventDefault();
  return false;
});

// The on-screen keys of a touch screen: a press when touched, a release when
// let go. While a line is typed (no keyboard protocol) a touch sends the
// key's bytes, as a terminal would.
var plainKeys = { ArrowUp: '\x1b[A', ArrowDown: '\x1b[B', ArrowRight: '\x1b[C', ArrowLeft: '\x1b[D',
                  Enter: '\r', Escape: '\x1b' };
function touchKey(button, down) {
  var key = button.getAttribute('data-key');
  var flags = keyFlags.length ? keyFlags[keyFlags.length - 1] : 0;
  if (flags & 8) reportKey({ type: down ? 'keydown' : 'keyup', key: key, repeat: false });
  else if (down) send(plainKeys[key]);
}
Array.prototype.forEach.call(document.querySelectorAll('#keys button'), function (button) {
  button.addEventListener('touchstart', function (ev) { ev.preventDefault(); touchKey(button, true); });
  button.addEventListener('touchend', function (ev) { ev.preventDefault(); touchKey(button, false); });
  button.addEventListener('touchcancel', function () { touchKey(button, false); });
});

// A click that only gives the page (or the terminal) the keyboard is not the
// game's: its press and release stay on the page.
var focusedAt = 0, swallowing = false;
window.addEventListener('focus', function () { focusedAt = performance.now(); });
['mousedown', 'mouseup'].forEach(function (type) {
  term.element.addEventListener(type, function (ev) {
    if (type === 'mousedown') {
      swallowing = performance.now() - focusedAt < 100 || document.activeElement !== term.textarea;
    }
    if (!swallowing) return;
    ev.stopPropagation();
    ev.preventDefault();
    term.focus();
    if (type === 'mouseup') swallowing = false;
  }, true);
});
term.onData(send);
term.onBinary(function (data) {
  if (gameOver) return;
  for (var i = 0; i < data.length; i++) inputQueue.push(data.charCodeAt(i) & 255);
});

// The slot files: in the working folder /save while the game runs, and each
// one its own record in IndexedDB (database "/save", store "FILE_DATA", key
// "/save/data1.bin", {timestamp, mode, contents}, as earlier versions of the
// page kept them). The game reads a slot's record whenever it opens the slot
// (so a fighter saved in another tab shows), and a save counts only once its
// record is stored: console/platform_web.cpp waits for both.
var saveStore = 'FILE_DATA';
var savesDb = null;
// Says why fighters are not kept, under the terminal.
function storageNote(text) {
  var note = document.getElementById('storage-note');
  if (note) { note.textContent = text; note.hidden = false; }
}
var noStorage = true;
try { noStorage = !window.indexedDB; } catch (error) { noStorage = false; }  // refused: a save says so
if (noStorage) storageNote('This browser gives the page no storage: fighters are kept only until the page is closed.');
// The database, opened once; a refusal is tried again at the next use.
function openSaves() {
  if (savesDb) return Promise.resolve(savesDb);
  return new Promise(function (resolve, reject) {
    var request = indexedDB.open('/save', 21);
    request.onupgradeneeded = function () {
      var db = request.result;
      var store = db.objectStoreNames.contains(saveStore) ? request.transaction.objectStore(saveStore)
                                                         : db.createObjectStore(saveStore);
      if (!store.indexNames.contains('timestamp')) store.createIndex('timestamp', 'timestamp', { unique: false });
    };
    request.onsuccess = function () { savesDb = request.result; resolve(savesDb); };
    request.onerror = function () { reject(request.error); };
    request.onblocked = function () { reject(new Error('the saves database is held by an older page')); };
  }).catch(function (error) {
    storageNote('This browser refuses the page its storage (' + (error && error.name || error) +
                '): fighters cannot be saved.');
    throw error;
  });
}
// One request in its own transaction; resolves once the transaction is done.
function inStore(mode, work) {
  return openSaves().then(function (db) {
    return new Promise(function (resolve, reject) {
      var transaction = db.transaction([saveStore], mode);
      var request = work(transaction.objectStore(saveStore));
      transaction.oncomplete = function () { resolve(request.result); };
      transaction.onerror = transaction.onabort = function () { reject(transaction.error || request.error); };
    });
  });
}
// Brings slot file `name` in the working folder up to date with its record
// (the file goes when storage has none). Storage that cannot be read leaves
// the folder as it is.
Module.kotodamaLoadSlot = function (name) {
  if (noStorage) return Promise.resolve();
  return inStore('readonly', function (store) { return store.get('/save/' + name); }).then(function (entry) {
    if (entry && entry.contents) FS.writeFile(name, new Uint8Array(entry.contents));
    else if (FS.analyzePath(name).exists) FS.unlink(name);
  }, function (error) { console.error('slot ' + name + ' could not be read from storage:', error); });
};
// Stores slot file `name` as the working folder holds it: 1 once storage has
// it, 0 when storage refuses.
Module.kotodamaStoreSlot = function (name) {
  if (noStorage) return Promise.resolve(1);
  try {
    var entry = { timestamp: new Date(), mode: 33206, contents: FS.readFile(name) };
  } catch (error) {
    return Promise.resolve(0);
  }
  return inStore('readwrite', function (store) { return store.put(entry, '/save/' + name); }).then(function () {
    return 1;
  }, function (error) {
    console.error('slot ' + name + ' could not be stored:', error);
    return 0;
  });
};
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  FS.mkdir('/save');
  FS.chdir('/save');
});

// The end of the game, however it comes: END (main returns), an exit (the
// fatal stops), an abort, or an error. The terminal is given
// back (mouse reports off, colours reset, the caret shown, the main screen
// again: the game's kGiveBackSequence, console/terminal.h, which a test holds
// this copy to), and the page is told once, with the status (-1: aborted).
var leaveSequence = '\x1b[?1006l\x1b[?1003l\x1b[?1000l\x1b[0m\x1b[?25h\x1b[H\x1b[2J\x1b[?1049l';
function endGame(status) {
  if (gameOver) return;
  gameOver = true;
  inputQueue.length = 0;
  keyFlags.length = 0;
  term.write(leaveSequence + '\x1b[?25l');  // and no caret left on the page
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
