// The web page's costs in headless chromium: its size (gzipped), the time to
// its first frame, and the CPU it takes while the game waits on the title
// menu, the slot screen and the battle's confirm wait (renderer main-thread
// work over 10 s, as a share of one core). Usage: node web/bench.js SITE_FOLDER
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { Tab, serve, launch, has, sleep } = require('./browser-test.js');

const kIdleSeconds = 10;

async function idleCpu(page) {
  const session = await page.createCDPSession();
  await session.send('Performance.enable');
  const busy = async () => (await session.send('Performance.getMetrics')).metrics.find((m) => m.name === 'TaskDuration').value;
  const before = await busy();
  await sleep(kIdleSeconds * 1000);
  return (100 * ((await busy()) - before)) / kIdleSeconds;
}

async function main() {
  const site = path.resolve(process.argv[2] || 'build-web/site');
  const bytes = fs.readdirSync(site).reduce((n, f) => n + zlib.gzipSync(fs.readFileSync(path.join(site, f))).length, 0);
  console.log(`page size: ${(bytes / 1024).toFixed(0)} kB gzipped`);
  const server = await serve(site);
  const browser = await launch();
  try {
    const page = await (await browser.createBrowserContext()).newPage();
    await page.setViewport({ width: 1000, height: 600 });
    const tab = new Tab(page);
    // The first frame as the page paints it, timed in the page from the start
    // of navigation (a look from here each 50 ms would come late on a busy machine).
    await page.goto(server.url, { waitUntil: 'domcontentloaded' });
    const first = await page.waitForFunction(() => {
      const buffer = window.term && window.term.buffer.active;
      for (let y = 0; buffer && y < 25; y++) if (buffer.getLine(buffer.viewportY + y).translateToString(true).trim()) return performance.now();
      return false;
    }, { polling: 'raf', timeout: 30000 });
    console.log(`first frame: ${Math.round(await first.jsonValue())} ms from navigation`);
    await tab.waitFor('the title menu', has('>CREATE'), 30000);
    await sleep(1000);
    console.log(`idle on the title menu: ${(await idleCpu(page)).toFixed(1)}% of a core`);
    await tab.create('hero');
    await tab.tap('Enter');
    await tab.waitFor('the save slots', has('戻る'));
    await sleep(1000);
    console.log(`idle on the slot screen: ${(await idleCpu(page)).toFixed(1)}% of a core`);
    await tab.tap('Enter');
    await tab.slots();  // BATTLE, hero from slot 1, against rival
    await tab.tap('Enter');
    await tab.waitFor('name entry', (s) => !s.some((r) => r.includes('戻る')));
    await sleep(1500);
    await page.keyboard.type('rival');
    await tab.tap('Enter');
    // The confirm wait: the battle's screen standing still.
    let last = '';
    for (let still = 0; still < 10; await sleep(200)) {
      const now = (await tab.rows()).join('\n');
      still = now === last && now.includes('rival') ? still + 1 : 0;
      last = now;
    }
    console.log(`idle on the battle's confirm wait: ${(await idleCpu(page)).toFixed(1)}% of a core`);
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((e) => { console.error(`web bench: FAILED: ${e.message}`); process.exit(1); });
