// Headless Chromium (Debian's) on the page served from 127.0.0.1 only.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');
const { serve } = require('../../scripts/serve-web.js');
const { web } = require('./native.js');

async function openBrowser() {
  const server = await serve(web, 0);
  const base = 'http://127.0.0.1:' + server.address().port + '/';
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quillane-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const outside = [];
  // Opens the page at base + suffix (or at url) in a fresh tab and waits until it has started;
  // before its scripts run, prepare(page) may change what they find.
  async function open(suffix, url = base + suffix, prepare = null) {
    const page = await browser.newPage();
    if (prepare) await prepare(page);
    const allowed = [base, 'data:', 'blob:', 'file:'];
    page.on('request', (r) => {
      if (!allowed.some((a) => r.url().startsWith(a))) outside.push(r.url());
    });
    await page.goto(url);
    await page.evaluate(() => window.quillane.done);
    return page;
  }
  async function close() {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  return { open, close, outside };
}

// Drops files ([name, text] pairs) on the page; resolves once it has taken them in.
async function drop(page, files) {
  await page.evaluate(async (files) => {
    const data = new DataTransfer();
    for (const [name, text] of files) data.items.add(new File([text], name));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true }));
    await new Promise((resolve) => setTimeout(resolve, 200));
  }, files);
}

// Types the lines into the page's console; resolves with what the console shows then.
async function typeCommands(page, lines) {
  if (await page.$eval('#console', (c) => c.hidden)) await page.click('#console-toggle');
  for (const line of lines) {
    await page.type('#console-in', line);
    await page.keyboard.press('Enter');
  }
  return page.evaluate(() => window.quillane.console());
}

module.exports = { openBrowser, drop, typeCommands };
