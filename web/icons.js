// Draws the page's icon (web/favicon.svg) as the PNG files the web app
// manifest names, 192 and 512 pixels square, with chromium. They are kept in
// the repository, so a build needs no drawing tool: run this (make web-icons)
// after changing the icon. The icon is drawn with shapes, not a font, so it
// looks the same on every machine.
'use strict';
const fs = require('fs');
const path = require('path');
const { launch } = require('./browser-test.js');

async function main() {
  const svg = fs.readFileSync(path.join(__dirname, 'favicon.svg')).toString('base64');
  const browser = await launch();
  try {
    const page = await browser.newPage();
    for (const size of [192, 512]) {
      await page.setViewport({ width: size, height: size });
      await page.setContent('<body style="margin:0"><img style="display:block" width="' + size + '" height="' + size +
                            '" src="data:image/svg+xml;base64,' + svg + '"></body>');
      await page.screenshot({ path: path.join(__dirname, `icon-${size}.png`), omitBackground: true });
    }
  } finally {
    await browser.close();
  }
}

main().catch((e) => { console.error(`web icons: FAILED: ${e.message}`); process.exit(1); });
