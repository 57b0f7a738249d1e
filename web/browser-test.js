// The web page in headless chromium, as visitors use it: saving in two tabs,
// storage that refuses or is missing, keys held while the page loses the
// keyboard, taps on a phone, windows of every size, exact Japanese text, and
// the browser's own shortcuts. Usage: node web/browser-test.js SITE_FOLDER
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css',
                '.svg': 'image/svg+xml', '.png': 'image/png', '.webmanifest': 'application/manifest+json' };
// Serves the site folder on a free port of this machine; "?sandbox" serves
// the page as a sandboxed document (no storage of its own). Resolves to the
// server, with its address as .url.
async function serve(site) {
  const server = http.createServer((req, res) => {
    const file = path.join(site, decodeURIComponent(req.url.split('?')[0]).replace(/^\/$/, '/index.html'));
    if (!file.startsWith(site) || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
    const headers = { 'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                      'Access-Control-Allow-Origin': '*' };
    if (req.url.includes('?sandbox')) headers['Content-Security-Policy'] = 'sandbox allow-scripts';
    res.writeHead(200, headers);
    fs.createReadStream(file).pipe(res);
  });
  await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
  server.url = `http://127.0.0.1:${server.address().port}/`;
  return server;
}

async function launch() {
  try {
    return await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: 'new',
                                    args: ['--no-sandbox', '--disable-gpu'] });
  } catch (e) {
    return fail(`chromium (/usr/bin/chromium) could not be started: ${e.message}`);
  }
}

function fail(message) { throw new Error(message); }
const sleep = (ms) => new Promise((ok) => setTimeout(ok, ms));
const has = (text) => (screen) => screen.some((row) => row.includes(text));

// One tab of the game and what a visitor does in it. Cells are 1-based, as the game counts them.
class Tab {
  constructor(page) {
    this.page = page;
    // What the page said went wrong, for a failure's message.
    this.errors = [];
    page.on('pageerror', (e) => this.errors.push(e.message));
    page.on('console', (m) => { if (m.type() === 'error') this.errors.push(m.text()); });
  }

  rows() {
    return this.page.evaluate(() => {
      const b = window.term.buffer.active, out = [];
      for (let y = 0; y < 25; y++) out.push(b.getLine(b.viewportY + y).translateToString(true));
      return out;
    });
  }

  // The characters of cells column .. column+n-1 of a row, a blank for the right half of a wide one.
  cells(row, column, n) {
    return this.page.evaluate((y, x, n) => {
      const line = window.term.buffer.active.getLine(window.term.buffer.active.viewportY + y);
      let text = '';
      for (let i = x; i < x + n; i++) text += line.getCell(i).getChars() || ' ';
      return text;
    }, row - 1, column - 1, n);
  }

  async waitFor(what, seen, ms = 20000) {
    const end = Date.now() + ms;
    for (;;) {
      const screen = await this.rows().catch(() => null);
      if (screen && seen(screen)) return screen;
      if (Date.now() > end) {
        const state = await this.page.evaluate(() => `${document.visibilityState}, focus ${document.hasFocus()} on ${document.activeElement.tagName}, ` +
          `${window.hiddenOutput.length} writes held, ${window.inputQueue.length} bytes unread, ${window.wake ? '' : 'not '}waiting` +
          (document.getElementById('ended').offsetParent ? `, ended: "${document.getElementById('ended-text').textContent}"` : ''));
        const errors = this.errors.length ? `; errors: ${this.errors.join(' | ')}` : '';
        fail(`timed out waiting for ${what} (page ${state}${errors}); the screen shows:\n${(screen || []).join('\n')}`);
      }
      await sleep(50);
    }
  }

  // A key pressed and let go at once, then a pause, so that a pass of the
  // screen has taken it before the next. The press and the release are sent
  // together: a release sent after a wait here reaches a busy page late, and
  // a key still down at the screen's next pass counts again, as a held key does.
  async tap(key, pause = 150) {
    await Promise.all([this.page.keyboard.down(key), this.page.keyboard.up(key)]);
    await sleep(pause);
  }

  // The centre of a cell in the page's pixels.
  async at(column, row) {
    const r = await this.page.evaluate(() => {
      const b = window.term.element.querySelector('.xterm-screen').getBoundingClientRect();
      return { x: b.left, y: b.top, w: b.width / 80, h: b.height / 25 };
    });
    return { x: r.x + (column - 0.5) * r.w, y: r.y + (row - 0.5) * r.h };
  }

  async touch(column, row) {
    const { x, y } = await this.at(column, row);
    await this.page.touchscreen.tap(x, y);
  }

  // CREATE on the title menu, `name` typed: the status screen.
  async create(name) {
    await this.page.bringToFront();  // a tab behind another is hidden: it stands still
    await this.waitFor('the title menu', has('>CREATE'), 30000);
    await this.tap('Enter');
    await this.waitFor('name entry', (s) => !s.some((r) => r.includes('CREATE')));
    await this.page.keyboard.type(name);
    await this.tap('Enter');
    await this.waitFor('the status screen', has('YES'));
  }

  // YES on the status screen, then the slot reached by these arrows, chosen.
  async save(arrows) {
    await this.tap('Enter');
    await this.waitFor('the save slots', has('戻る'));
    for (const key of arrows) await this.tap(key);
    await this.tap('Enter');
  }

  // BATTLE on the title menu: the fighters in the slots, as the load screen shows them.
  async slots() {
    await this.page.bringToFront();
    await this.waitFor('the title menu', has('>CREATE'), 30000);
    await this.tap('ArrowDown');
    await this.tap('Enter');
    return this.waitFor('the load slots', has('戻る'));
  }

  // The bytes storage holds for a slot file, in hex; '' when it holds none.
  stored(file) {
    return this.page.evaluate((file) => new Promise((ok, no) => {
      const open = indexedDB.open('/save');
      open.onerror = () => no(open.error);
      open.onsuccess = () => {
        const stores = open.result.objectStoreNames;
        if (!stores.contains('FILE_DATA')) { ok(''); return; }
        const get = open.result.transaction('FILE_DATA').objectStore('FILE_DATA').get('/save/' + file);
        get.onsuccess = () => ok(get.result ? Array.from(get.result.contents, (b) => b.toString(16).padStart(2, '0')).join(' ') : '');
      };
    }), file);
  }

  // The page's notice once the game has ended, the terminal given back.
  async ended(how, says = /has ended/) {
    await this.page.waitForSelector('#ended', { visible: true, timeout: 20000 })
      .catch(async () => fail(`the page did not say that the game had ended after ${how}; the screen shows:\n${(await this.rows()).join('\n')}`));
    const notice = await this.page.$eval('#ended', (e) => e.textContent);
    if (!says.test(notice)) fail(`after ${how} the end notice reads "${notice}"`);
    const mouse = await this.page.evaluate(() => window.term.modes.mouseTrackingMode);
    if (mouse !== 'none') fail(`after ${how} the terminal still reports the mouse (${mouse})`);
  }
}

async function main(site, server) {
  const url = server.url;
  const browser = await launch();
  // A tab in a browser context of its own (its own storage) unless one is given.
  const open = async ({ context, before, query = '', device, viewport = { width: 1000, height: 600 } } = {}) => {
    context = context || await browser.createBrowserContext();
    const page = await context.newPage();
    if (device) await page.emulate(device); else await page.setViewport(viewport);
    if (before) await page.evaluateOnNewDocument(before);
    await page.goto(url + query);
    await page.bringToFront();
    const tab = new Tab(page);
    tab.context = context;
    return tab;
  };
  try {
    // Two tabs: each save writes its own slot only, and a slot screen opened
    // after the other tab saved shows its fighter and asks before overwriting.
    {
      const a = await open();
      const b = await open({ context: a.context });
      await a.create('Mika～');
      // ＼ in the portrait keeps its two columns (34 and 35), and the ":" after it stays in column 36.
      const portrait = await a.cells(6, 33, 4);
      if (portrait !== ' ＼ :') fail(`row 6 columns 33-36 of the status screen show "${portrait}"`);
      await a.save(['ArrowDown']);
      await a.waitFor('the save confirmation', has('セーブされました'));
      await b.create('Eve');
      await b.save(['ArrowDown', 'ArrowRight']);
      await b.waitFor('the title menu after the save', has('>CREATE'));
      const both = await a.slots();
      if (!has('Mika～')(both) || !has('Eve')(both)) fail(`after saves in two tabs the slots show:\n${both.join('\n')}`);
      const mika = await a.stored('data4.bin');
      if (!mika.startsWith('4d 69 6b 61 81 60 00')) fail(`"Mika～" is stored as ${mika}`);
      console.log('two tabs: slots 4 and 5 both kept; "Mika～" stored as 4d 69 6b 61 81 60; ＼ in its column');
      await a.page.reload();
      await b.create('Fay');
      await b.save(['ArrowDown', 'ArrowRight', 'ArrowRight']);
      await b.waitFor('the title menu after the save', has('>CREATE'));
      await a.create('Gus');
      await a.save(['ArrowDown', 'ArrowRight', 'ArrowRight']);
      await a.waitFor('the overwrite question for slot 6, saved in the other tab', has('上書きしますが'));
      console.log('two tabs: the second save into slot 6 asks before overwriting');
      await a.context.close();
    }

    // Storage that refuses: the save fails with the game's message, and a
    // reload claims nothing. With no storage at all the game plays, and the
    // page says that fighters last only as long as the page.
    const refusals = [
      ['a SecurityError on open', () => {
        IDBFactory.prototype.open = () => { throw new DOMException('refused', 'SecurityError'); };
      }],
      ['an error on the open request', () => {
        IDBFactory.prototype.open = () => {
          const request = {};
          setTimeout(() => { request.error = new DOMException('refused', 'UnknownError'); request.onerror(); });
          return request;
        };
      }],
      ['a QuotaExceededError on put', () => {
        IDBObjectStore.prototype.put = () => { throw new DOMException('full', 'QuotaExceededError'); };
      }],
      ['a sandboxed page', null, '?sandbox'],
    ];
    for (const [how, before, query] of refusals) {
      const tab = await open({ before, query });
      await tab.create('hero');
      if (how === refusals[0][0]) {
        for (const [row, value] of [[3, '316'], [5, '250'], [7, '230'], [9, '32']]) {
          const shown = (await tab.cells(row, 72, 4)).trim();
          if (shown !== value) fail(`row ${row} column 72 of hero's status shows "${shown}", not ${value}`);
        }
      }
      await tab.save([]);
      const screen = await tab.waitFor(`the message that data1.bin was not written, after ${how}`, has('ta1.bin'));
      if (has('セーブされました')(screen)) fail(`after ${how} the game says the fighter was saved`);
      await tab.tap('Enter');
      await tab.ended(`a save refused by ${how}`, /stopped \(status 1\)/);
      await tab.page.reload();
      const slots = await tab.slots();
      if (has('hero')(slots)) fail(`after ${how} and a reload, the load screen shows hero`);
      console.log(`storage refusing by ${how}: the save fails and nothing is claimed`);
      await tab.context.close();
    }
    {
      const tab = await open({ before: () => Object.defineProperty(window, 'indexedDB', { value: undefined }) });
      const note = await tab.page.$eval('#storage-note', (e) => (e.hidden ? '' : e.textContent));
      if (!/only until the page is closed/.test(note)) fail(`with no IndexedDB the page says "${note}"`);
      await tab.create('hero');
      await tab.save([]);
      await tab.waitFor('the save confirmation', has('セーブされました'));
      if (!has('hero')(await tab.slots())) fail('with no IndexedDB the saved fighter is not in its slot');
      console.log('no IndexedDB: the game plays, keeps fighters in memory and says so');
      await tab.context.close();
    }

    // The keyboard: a key held moves the menu at the held rate, and stops at
    // once when the page loses the keyboard. Browser shortcuts reach the browser.
    {
      const tab = await open();
      await tab.waitFor('the title menu', has('>CREATE'), 30000);
      const flags = await tab.page.evaluate(() => window.kotodamaKeyFlags());
      if (!(flags & 2)) fail(`the game did not ask for key releases (flags ${flags})`);
      const litRow = async () => (await tab.rows()).findIndex((r) => r.includes('>'));
      const moves = [];
      let last = await litRow();
      await tab.page.keyboard.down('ArrowDown');
      const down = Date.now();
      for (let blurred = 0; Date.now() < down + 2000;) {
        if (!blurred && Date.now() >= down + 1000) {
          await tab.page.evaluate(() => window.dispatchEvent(new Event('blur')));
          blurred = Date.now();
        }
        const now = await litRow();
        if (now !== last) { moves.push(Date.now() - down); last = now; }
        await sleep(20);
      }
      await tab.page.keyboard.up('ArrowDown');
      // Seen late, under load: a move drawn just before the blur may be read up to a pass later.
      if (moves.length < 6 || moves.some((t) => t > 1000 + 150)) fail(`Down held, blurred at 1000 ms, moved the menu at ${moves.join(', ')} ms`);
      console.log(`a key held for a second moved the menu ${moves.length} times, none after the page lost the keyboard`);
      const prevented = async (...keys) => {
        await tab.page.evaluate(() => window.addEventListener('keydown', (e) => { window.lastPrevented = e.defaultPrevented; }, { once: true }));
        await tab.page.keyboard.down(keys[0]);
        if (keys[1]) await tab.page.keyboard.press(keys[1]);
        await tab.page.keyboard.up(keys[0]);
        return tab.page.evaluate(() => window.lastPrevented);
      };
      if (await prevented('Control', 'Equal')) fail('Ctrl+= (zoom) was kept from the browser');
      if (!(await prevented('ArrowUp'))) fail('Up reached the browser as well as the game');
      console.log('Ctrl+= reaches the browser; the game keeps its arrows');

      // END with the mouse after a move: the box lights under the pointer. A
      // click that only gives the terminal the keyboard back chooses nothing
      // (the pointer moved on then lights CREATE); the next click chooses END.
      const end = await tab.at(20, 21), create = await tab.at(20, 13);
      await tab.page.mouse.move(end.x, end.y);
      await tab.waitFor('END lit under the pointer', (s) => s[20].includes('>END'));
      await tab.page.evaluate(() => document.activeElement.blur());
      await tab.page.mouse.down();
      await tab.page.mouse.up();
      await tab.page.mouse.move(create.x, create.y);
      await tab.waitFor('CREATE lit under the pointer after a click that gave the terminal the keyboard',
                        (s) => s[12].includes('>CREATE') && !s[20].includes('>END'));
      if (!(await tab.page.evaluate(() => document.activeElement === window.term.textarea))) fail('a click on the terminal did not give it the keyboard');
      await tab.page.mouse.move(end.x, end.y);
      await tab.waitFor('END lit under the pointer again', (s) => s[20].includes('>END'));
      await tab.page.mouse.down();
      await sleep(100);
      await tab.page.mouse.up();
      await tab.ended('END was clicked');
      if (await tab.page.evaluate(() => window.term.element.querySelector('.xterm-cursor'))) fail('a caret is left on the page after the end');
      await tab.page.click('#again');
      await tab.waitFor('the title menu of a new game', has('>CREATE'), 30000);
      console.log('a click that gives the terminal the keyboard chooses nothing; END clicked after a move ends the game; Play again starts a new one');
      await tab.context.close();
    }

    // A phone held sideways: taps choose what they touch (no move before them);
    // the on-screen keys press and release.
    {
      const tab = await open({ device: puppeteer.KnownDevices['Pixel 5 landscape'] });
      const key = async (name) => {
        const box = await tab.page.$eval(`#keys button[data-key="${name}"]`, (e) => {
          const r = e.getBoundingClientRect();
          return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
        });
        await tab.page.touchscreen.tap(box.x, box.y);
        await sleep(150);
      };
      const create = async (name) => {
        await tab.waitFor('the title menu', has('>CREATE'), 30000);
        await key('Enter');
        await tab.waitFor('name entry', (s) => !s.some((r) => r.includes('CREATE')));
        await tab.page.keyboard.type(name);
        await key('Enter');
        await tab.waitFor('the status screen', has('YES'));
      };
      await create('ann');
      await tab.touch(30, 24);  // YES
      await tab.waitFor('the save slots', has('戻る'));
      await tab.touch(10, 6);  // slot 1
      await tab.waitFor('the title menu after the save', has('>CREATE'));
      await create('bob');
      await tab.touch(52, 24);  // NO, while the keyboard's highlight is on YES
      // Each answer is followed by a pause of a quarter of a second, in which taps do not count.
      await tab.waitFor('the warning that bob will not be saved', has('保存されません'));
      await sleep(400);
      await tab.touch(52, 24);
      await tab.waitFor('the question again', has('セーブしますか'));
      await sleep(400);
      await tab.touch(30, 24);
      await tab.waitFor('the save slots', has('戻る'));
      await tab.touch(70, 6);  // slot 3, while the keyboard's highlight is on slot 1, which is full
      await tab.waitFor('the title menu after the save', has('>CREATE'));
      const slots = [await tab.stored('data1.bin'), await tab.stored('data3.bin')];
      if (!slots[0].startsWith('61 6e 6e 00') || !slots[1].startsWith('62 6f 62 00')) fail(`taps saved slot 1 as "${slots[0]}", slot 3 as "${slots[1]}"`);
      await tab.touch(20, 21);  // END, while the keyboard's highlight is on CREATE
      await tab.ended('END was tapped');
      console.log('taps on a phone choose YES, NO, slots 1 and 3 and END; the on-screen keys work');
      await tab.context.close();
    }

    // Any window: all 80 columns and 25 rows inside it, as large as fits.
    for (const [name, size] of [['1280x800', { width: 1280, height: 800 }], ['1024x500', { width: 1024, height: 500 }],
                                ['700x450', { width: 700, height: 450 }], ['a phone held sideways', 'Pixel 5 landscape']]) {
      const tab = await open(typeof size === 'string' ? { device: puppeteer.KnownDevices[size] } : { viewport: size });
      await tab.waitFor('the title menu', has('>CREATE'), 30000);
      const fit = await tab.page.evaluate(() => {
        const r = window.term.element.querySelector('.xterm-screen').getBoundingClientRect();
        const rows = window.term.element.querySelectorAll('.xterm-rows > div').length;
        return { left: r.left, top: r.top, right: r.right, bottom: r.bottom, rows, w: innerWidth, h: innerHeight };
      });
      if (fit.left < 0 || fit.top < 0 || fit.right > fit.w || fit.bottom > fit.h || fit.rows !== 25) {
        fail(`in a window of ${name} the grid is at ${JSON.stringify(fit)}`);
      }
      if (Math.max((fit.right - fit.left) / fit.w, (fit.bottom - fit.top) / fit.h) < 0.8) fail(`in a window of ${name} the grid is small: ${JSON.stringify(fit)}`);
      if (name === 'a phone held sideways') await tab.page.screenshot({ path: path.join(site, '..', 'phone.png') });
      await tab.context.close();
    }
    console.log('every window shows the whole grid, as large as fits');

    // The icons the manifest names are there, each of its size. After one
    // visit the page plays with no server at all, from its service worker's copy.
    {
      const tab = await open();
      await tab.waitFor('the title menu', has('>CREATE'), 30000);
      const wrong = await tab.page.evaluate(async () => {
        const icons = (await (await fetch('manifest.webmanifest')).json()).icons;
        return (await Promise.all(icons.map((icon) => new Promise((ok) => {
          const image = new Image();
          image.onload = () => ok(icon.sizes === 'any' || icon.sizes === `${image.naturalWidth}x${image.naturalHeight}` ? '' : `${icon.src} is ${image.naturalWidth}x${image.naturalHeight}`);
          image.onerror = () => ok(`${icon.src} does not load`);
          image.src = icon.src;
        })))).filter((e) => e);
      });
      if (wrong.length) fail(`the manifest's icons: ${wrong.join('; ')}`);
      await tab.page.evaluate(() => navigator.serviceWorker.ready);
      server.close();
      server.closeAllConnections();
      await tab.page.reload();
      await tab.waitFor('the title menu with no server', has('>CREATE'), 30000);
      console.log("the manifest's icons load; with no network the page plays from the copy its service worker kept");
    }
  } finally {
    await browser.close();
  }
}

module.exports = { Tab, serve, launch, has, sleep };

if (require.main === module) {
  const site = path.resolve(process.argv[2] || 'build-web/site');
  serve(site).then((server) => main(site, server).finally(() => server.close()))
    .then(() => console.log('browser test: passed'),
          (e) => { console.error(`browser test: FAILED: ${e.message}`); process.exit(1); });
}
