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
  // Opens the page at base + suffix (or at url) in a fresh tab and waits until it has started.
  async function open(suffix, url = base + suffix) {
    const page = await browser.newPage();
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

module.exports = { openBrowser };
