// The web page in headless chromium: the menu, keys pressed and released by
// the browser, a name typed, a save that survives a reload, a held key, and
// END clicked with the mouse. Usage: node web/browser-test.js SITE_FOLDER
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const site = path.resolve(process.argv[2] || 'build-web/site');
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css' };
const server = http.createServer((req, res) => {
  const file = path.join(site, decodeURIComponent(req.url.split('?')[0]).replace(/^\/$/, '/index.html'));
  if (!file.startsWith(site) || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
  res.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
  fs.createReadStream(file).pipe(res);
});

function fail(message) { throw new Error(message); }

async function main() {
  await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
  const url = `http://127.0.0.1:${server.address().port}/`;
  let browser;
  try {
    browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: 'new',
                                       args: ['--no-sandbox', '--disable-gpu'] });
  } catch (e) {
    fail(`chromium (/usr/bin/chromium) could not be started: ${e.message}`);
  }
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1000, height: 600 });
    const rows = () => page.evaluate(() => {
      const b = window.term.buffer.active, out = [];
      for (let y = 0; y < 25; y++) out.push(b.getLine(b.viewportY + y).translateToString(true));
      return out;
    });
    // The text of cells x .. x+n-1 of row y (0-based), one character a cell.
    const cells = (y, x, n) => page.evaluate((y, x, n) => {
      const line = window.term.buffer.active.getLine(window.term.buffer.active.viewportY + y);
      let text = '';
      for (let i = x; i < x + n; i++) text += line.getCell(i).getChars() || ' ';
      return text;
    }, y, x, n);
    // Waits until the screen shows what `seen` looks for.
    const waitFor = async (what, seen, ms = 20000) => {
      const end = Date.now() + ms;
      for (;;) {
        const screen = await rows().catch(() => null);
        if (screen && seen(screen)) return screen;
        if (Date.now() > end) fail(`timed out waiting for ${what}; the screen shows:\n${(screen || []).join('\n')}`);
        await new Promise((ok) => setTimeout(ok, 50));
      }
    };
    const has = (text) => (screen) => screen.some((row) => row.includes(text));
    // A quick tap: held 40 ms (a key held longer than a pass of the menu counts twice, as on a console).
    const tap = async (key) => { await page.keyboard.down(key); await new Promise((ok) => setTimeout(ok, 40)); await page.keyboard.up(key); };

    // CREATE, chosen on the title menu: `name` typed, up to the status screen.
    const create = async (name) => {
      await tap('Enter');
      await waitFor('name entry', (s) => !s.some((r) => r.includes('CREATE')));
      await page.keyboard.type(name);
      await tap('Enter');
      await waitFor('the status screen', has('YES'));
    };
    // YES on the status screen, then slot 1.
    const saveInSlot1 = async () => {
      await tap('Enter');
      await waitFor('the save slots', (s) => !s.some((r) => r.includes('YES')));
      await tap('Enter');
    };
    // The page's notice once the game has ended, the terminal given back.
    // END ends with status 0; a fatal stop with 1, which the page names.
    const ended = async (how, says = /has ended/) => {
      await page.waitForSelector('#ended', { visible: true, timeout: 20000 })
        .catch(async () => fail(`the page did not say that the game had ended after ${how}; the screen shows:\n${(await rows()).join('\n')}`));
      const notice = await page.$eval('#ended', (e) => e.textContent);
      if (!says.test(notice)) fail(`after ${how} the end notice reads "${notice}"`);
      const mouse = await page.evaluate(() => window.term.modes.mouseTrackingMode);
      if (mouse !== 'none') fail(`after ${how} the terminal still reports the mouse (${mouse})`);
    };

    await page.goto(url);
    await waitFor('the title menu', has('>CREATE'), 30000);
    await tap('ArrowDown');
    await tap('ArrowUp');
    await create('hero');
    // Column 72 is cell 71, rows 3, 5, 7 and 9 cells 2, 4, 6 and 8.
    for (const [row, value] of [[2, '316'], [4, '250'], [6, '230'], [8, '32']]) {
      const shown = (await cells(row, 71, 4)).trim();
      if (shown !== value) fail(`row ${row + 1} column 72 shows "${shown}", not ${value}`);
    }
    console.log('status screen of hero: 316 250 230 32');
    await page.screenshot({ path: path.join(site, '..', 'status.png') });
    await saveInSlot1();
    await waitFor('the title menu after the save', has('>CREATE'));
    await page.reload();
    await waitFor('the title menu after a reload', has('>CREATE'), 30000);
    await tap('ArrowDown');
    await tap('Enter');  // BATTLE: the saved fighters
    await waitFor('slot 1 holding hero', has('hero'));
    console.log('slot 1 holds hero after a reload');

    // A held key: the game asks for key releases (CSI > 11 u), so a key held
    // for a second moves the menu at the held rate (every 100 ms), and not
    // once more after it comes up.
    await page.reload();
    await waitFor('the title menu', has('>CREATE'), 30000);
    const flags = await page.evaluate(() => window.kotodamaKeyFlags ? window.kotodamaKeyFlags() : 0);
    if (!(flags & 2)) fail(`the game did not ask for key releases (flags ${flags})`);
    const litRow = async () => (await rows()).findIndex((r) => r.includes('>'));
    const moves = [];
    let last = await litRow();
    await page.keyboard.down('ArrowDown');
    const down = Date.now();
    for (let up = 0; Date.now() < down + 1600;) {
      if (!up && Date.now() >= down + 1000) { await page.keyboard.up('ArrowDown'); up = Date.now(); }
      const now = await litRow();
      if (now !== last) { moves.push(Date.now() - down); last = now; }
      await new Promise((ok) => setTimeout(ok, 20));
    }
    // Seen late, under load: a move drawn just before the release may be read up to a pass later.
    const late = moves.filter((t) => t > 1000 + 150);
    if (moves.length < 6 || late.length) fail(`a key held for a second moved the menu at ${moves.join(', ')} ms`);
    console.log(`a key held for a second moved the menu ${moves.length} times, none after it came up`);

    // END with the mouse: the cell's centre, in the terminal's own pixels.
    await page.reload();
    const menu = await waitFor('the title menu', has('>CREATE'), 30000);
    const endRow = menu.findIndex((r) => r.includes(' END '));
    const endCol = menu[endRow].indexOf('END');
    const box = await page.evaluate(() => {
      const r = window.term.element.querySelector('.xterm-screen').getBoundingClientRect();
      return { x: r.left, y: r.top, w: r.width / 80, h: r.height / 25 };
    });
    // The background of one cell (0-based), to see which menu box is lit.
    const background = (y, x) => page.evaluate((y, x) => {
      const cell = window.term.buffer.active.getLine(window.term.buffer.active.viewportY + y).getCell(x);
      return `${cell.getBgColorMode()}:${cell.getBgColor()}`;
    }, y, x);
    const createRow = menu.findIndex((r) => r.includes('CREATE'));
    const lit = await background(createRow, menu[createRow].indexOf('CREATE'));
    await page.mouse.move(box.x + (endCol + 1.5) * box.w, box.y + (endRow + 0.5) * box.h);
    // The game looks at the pointer once a pass: click once END is lit.
    for (const end = Date.now() + 20000; await background(endRow, endCol) !== lit;) {
      if (Date.now() > end) fail('END did not light up under the mouse pointer');
      await new Promise((ok) => setTimeout(ok, 50));
    }
    await page.mouse.down();
    await new Promise((ok) => setTimeout(ok, 100));
    await page.mouse.up();
    await ended('END was clicked');
    console.log('END clicked: the page says the game has ended and offers to start again');

    await page.click('#again');
    await waitFor('the title menu of a new game', has('>CREATE'), 30000);
    if (await page.$eval('#ended', (e) => getComputedStyle(e).display) !== 'none') fail('the end notice stays after starting again');
    console.log('starting again shows the title menu of a new game');

    // A fatal stop: slot 1 cannot be written; its message, then Enter ends the game.
    await page.evaluate(() => {
      window.FS.unlink('/save/data1.bin');
      window.FS.rename = () => { throw new window.FS.ErrnoError(29); };
    });
    await create('hero');
    await saveInSlot1();
    await waitFor('the message that data1.bin was not written', has('ta1.bin'));
    await tap('Enter');
    await ended('a fatal stop', /stopped \(status 1\)/);
    console.log('a save that fails stops the game after its message, and the page says so');
  } finally {
    await browser.close();
  }
}

main().then(() => { server.close(); console.log('browser test: passed'); },
            (e) => { server.close(); console.error(`browser test: FAILED: ${e.message}`); process.exit(1); });
