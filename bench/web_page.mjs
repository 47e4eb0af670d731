// The page's three figures, as medians of one run (see bench/web.sh, which starts this):
// its transfer gzipped, opening the single file to a page ready for a drop, and a batch of
// 1,000 saves dropped, converted and zipped against plimbrook-convert on the same batch.
import { spawnSync } from "node:child_process";
import { mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { parseArgs } from "node:util";
import { gzipSync } from "node:zlib";
import {
    openBrowser, siteFolder, singleFile, singleFileUrl,
} from "../web/tests/support/browser.mjs";
import { KiB, noise } from "../web/tests/support/saves.mjs";

const { values } = parseArgs({
    options: {
        runs: { type: "string", default: "21" },
        "batch-runs": { type: "string", default: "7" },
        native: { type: "string" },
        work: { type: "string" },
        count: { type: "string", default: "1000" },
    },
});
const count = Number(values.count);

function median(samples) {
    const sorted = [...samples].sort((a, b) => a - b);
    const middle = Math.floor(sorted.length / 2);
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

const gzipped = (bytes) => gzipSync(bytes, { level: 9 }).length;

function transfer() {
    const single = gzipped(readFileSync(singleFile));
    const site = readdirSync(siteFolder).reduce((sum, name) =>
        sum + gzipped(readFileSync(join(siteFolder, name))), 0);
    console.log(`transfer, gzip -9: plimbrook.html ${(single / 1000).toFixed(1)} kB; ` +
                `site/ ${(site / 1000).toFixed(1)} kB in ${readdirSync(siteFolder).length} files ` +
                "(limit 150 kB)");
}

// From the page's navigation to its "ready" mark, as the page's own clock has it; and from the
// driver's request to open it until it sees the page ready.
async function readiness(context) {
    const inPage = [];
    const seen = [];
    for (let run = 0; run < Number(values.runs); ++run) {
        const page = await context.newPage();
        const started = performance.now();
        await page.goto(singleFileUrl, { waitUntil: "commit" });
        await page.waitForSelector("html[data-ready='true']");
        seen.push(performance.now() - started);
        inPage.push(await page.evaluate(() =>
            performance.getEntriesByName("plimbrook-ready")[0].startTime));
        await page.close();
    }
    console.log(`ready for a drop, median of ${inPage.length}: ${median(inPage).toFixed(0)} ms ` +
                `from navigation (page clock); ${median(seen).toFixed(0)} ms from the driver's ` +
                "goto to seeing it ready (limit 300 ms)");
}

function writeBatch() {
    const saves = join(values.work, "saves");
    mkdirSync(saves, { recursive: true });
    const paths = [];
    for (let i = 0; i < count; ++i) {
        const path = join(saves, `save-${String(i).padStart(4, "0")}.srm`);
        writeFileSync(path, noise(8 * KiB, i + 1));
        paths.push(path);
    }
    return paths;
}

function nativeBatch(paths) {
    const times = [];
    const out = join(values.work, "native");
    for (let run = 0; run < Number(values["batch-runs"]); ++run) {
        rmSync(out, { recursive: true, force: true });
        mkdirSync(out);
        const started = performance.now();
        const done = spawnSync(values.native, ["to-bbd", "--output-dir", out, "--", ...paths]);
        times.push(performance.now() - started);
        if (done.status !== 0) {
            throw new Error(`plimbrook-convert failed: ${done.stderr}`);
        }
    }
    return median(times);
}

// The page's own clock, from the files' arrival to the list ready, and from the click on
// Download to the zip handed to the browser: the time a user waits. The driver's own time to
// hand 1,000 paths over is left out, as a real drop has none.
function watch() {
    window.benchTimes = {};
    const times = window.benchTimes;
    const files = document.getElementById("files");
    files.addEventListener("change", () => {
        times.given = performance.now();
        window.benchFiles = Array.from(files.files);
    }, true);
    // Awaited by the driver, which then needs no polling in the page while the page works.
    window.benchListed = new Promise((resolve) => {
        new MutationObserver(() => {
            const status = document.getElementById("status").textContent;
            if (/ files? ready/.test(status) && !times.listed) {
                times.listed = performance.now();
                resolve(status);
            }
        }).observe(document.getElementById("status"),
                   { childList: true, subtree: true, characterData: true });
    });
    document.getElementById("download").addEventListener("click", () => { times.clicked = performance.now(); }, true);
    document.addEventListener("click", (event) => {
        if (event.target.download) {
            times.handedOver = performance.now();
        }
    }, true);
}

// Picked through the page's file input at once, as a drop gives them.
async function pageBatch(context, paths) {
    const times = { waited: [], listed: [], zipped: [], read: [], driver: [] };
    for (let run = 0; run < Number(values["batch-runs"]); ++run) {
        const page = await context.newPage();
        await page.goto(singleFileUrl);
        await page.waitForSelector("html[data-ready='true']");
        await page.evaluate(watch);
        const started = performance.now();
        await page.locator("#files").setInputFiles(paths);
        const status = await page.evaluate(() => window.benchListed);
        if (status !== `${count} files ready.`) {
            throw new Error(`the page says "${status}"`);
        }
        const [download] = await Promise.all([
            page.waitForEvent("download", { timeout: 60000 }),
            page.locator("#download").click(),
        ]);
        times.driver.push(performance.now() - started);
        const t = await page.evaluate(() => window.benchTimes);
        times.waited.push(t.listed - t.given + (t.handedOver - t.clicked));
        times.listed.push(t.listed - t.given);
        times.zipped.push(t.handedOver - t.clicked);
        // What the browser alone takes to hand the same files' bytes to a page.
        times.read.push(await page.evaluate(async () => {
            const started = performance.now();
            await new Blob(window.benchFiles).arrayBuffer();
            return performance.now() - started;
        }));
        await download.delete();
        await page.close();
    }
    return Object.fromEntries(Object.entries(times).map(([key, list]) => [key, median(list)]));
}

transfer();
const browser = await openBrowser();
try {
    await readiness(browser.context);
    const paths = writeBatch();
    const native = nativeBatch(paths);
    const page = await pageBatch(browser.context, paths);
    console.log(`${count} saves to BBD files on tmpfs, median of ${values["batch-runs"]}: ` +
                `plimbrook-convert ${native.toFixed(0)} ms; the page ${page.waited.toFixed(0)} ms ` +
                `(files given to list ready ${page.listed.toFixed(0)} ms, plus Download to zip ` +
                `handed over ${page.zipped.toFixed(0)} ms), ratio ${(page.waited / native).toFixed(2)} ` +
                `(limit 3); the browser's own reading of the ${count} files, once more, takes ` +
                `${page.read.toFixed(0)} ms; with the driver's time to give the paths and see the ` +
                `download, ${page.driver.toFixed(0)} ms`);
} finally {
    await browser.close();
}
