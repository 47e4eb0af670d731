// screenshot.mjs OUT.png: the page in headless Chromium with two files dropped, a save and a BBD
// file whose copies differ, for the README.
import { concat, KiB, bbdHeader, noise, pattern, repeat } from "../tests/support/saves.mjs";
import { drop, entryOf, openBrowser, openPage } from "../tests/support/browser.mjs";

const out = process.argv[2];
if (!out) {
    console.error("usage: screenshot.mjs OUT.png");
    process.exit(2);
}
const browser = await openBrowser({ viewport: { width: 760, height: 900 } });
try {
    const { page } = await openPage(browser.context);
    await drop(page, "body", [
        { name: "Zelda.srm", bytes: repeat(pattern(2 * KiB, 1), 4) },
        { name: "Mario.bbd", bytes: concat(bbdHeader("Star Road done"), noise(32 * KiB, 2)) },
    ]);
    await entryOf(page, "Mario.bbd").waitFor();
    await page.getByLabel("Comment in BBD files").fill("Backup of December \u2013 all 96 exits");
    await page.screenshot({ path: out, fullPage: true });
} finally {
    await browser.close();
}
