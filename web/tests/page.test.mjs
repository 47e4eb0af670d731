// The page as a user meets it in headless Chromium: one test per flow, controls found by their
// role and label as a screen reader finds them, and every wait on the page itself.
import assert from "node:assert/strict";
import { mkdtempSync, readFileSync, rmSync, truncateSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import {
    downloadOf, drop, entryOf, openBrowser, openPage, pick, singleFile, singleFileUrl, top,
} from "./support/browser.mjs";
import { serveFolder } from "./support/server.mjs";
import { requireNative, runNative } from "./support/native.mjs";
import { KiB, bbdHeader, concat, noise, pattern, proFighterHeader, repeat } from "./support/saves.mjs";

const save = { name: "Zelda.srm", bytes: pattern(8 * KiB, 1) };
const keptBbd = { name: "Kept.bbd", bytes: concat(bbdHeader("Kept from the copier"), repeat(pattern(8 * KiB, 2), 4)) };
const differBbd = { name: "Mixed.bbd", bytes: concat(bbdHeader(), noise(32 * KiB, 3)) };
const fig = { name: "Fighter.sav", bytes: concat(proFighterHeader(), repeat(pattern(8 * KiB, 4), 4)) };
const empty = { name: "empty.srm", bytes: new Uint8Array(0) };
const unknown = { name: "film.bin", bytes: noise(40000, 5) };

let browser;
before(async () => {
    browser = await openBrowser();
});
after(async () => {
    await browser?.close();
});

async function resultOf(page, name) {
    return (await entryOf(page, name).locator(".result").textContent()).trim();
}

test("a file far past any save is listed from its size and first bytes", async () => {
    // 64 MiB and a byte, sparse: the most the page reads whole, passed.
    const folder = mkdtempSync(join(tmpdir(), "plimbrook-page-"));
    const path = join(folder, "film.mkv");
    writeFileSync(path, noise(40000, 6));
    truncateSync(path, 64 * 1024 * KiB + 1);
    try {
        const page = await browser.context.newPage();
        // What the page reads of its files, counted as it reads them. The first read waits, so
        // the browser fills its pipe before the page takes from it, as on a fast machine.
        await page.addInitScript(() => {
            window.bytesRead = 0;
            const read = ReadableStreamDefaultReader.prototype.read;
            ReadableStreamDefaultReader.prototype.read = async function () {
                if (window.bytesRead === 0) {
                    await new Promise((resolve) => setTimeout(resolve, 500));
                }
                const chunk = await read.call(this);
                window.bytesRead += chunk.value?.length ?? 0;
                return chunk;
            };
        });
        await page.goto(singleFileUrl);
        await page.waitForSelector("html[data-ready='true']");
        await page.getByLabel("Choose save or copier files").setInputFiles([path]);
        await entryOf(page, "film.mkv").getByText("unknown, 67108865 bytes").waitFor();
        assert.equal(await resultOf(page, "film.mkv"), "Not converted: larger than 32 KiB, the most the copier holds");
        const read = await page.evaluate(() => window.bytesRead);
        // Chromium hands a file over up to 2 MiB at a time; the page stops at the first piece
        // that takes it past its first MiB, a sixteenth of the file at most.
        assert.ok(read > 0 && read <= 4 * 1024 * KiB, `read ${read} bytes of it`);
        await page.close();
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
});

test("a drop, a comment and a format", async () => {
    const { page, requests } = await openPage(browser.context);
    await drop(page, "body", [save]);
    const comment = page.getByLabel("Comment in BBD files");
    assert.equal(await comment.inputValue(), "Enter a Comment and stuff.");
    await comment.fill("Caf\u00e9 \u20ac \u65e5");
    await page.getByText("8 of 77 characters").waitFor();
    await page.getByText(/stored as .?\?.?: .\u65e5./).waitFor();
    assert.equal(await comment.getAttribute("aria-invalid"), "true");
    const bbd = await downloadOf(page, () => page.getByRole("button", { name: "Download Zelda.bbd" }).click());
    assert.equal(bbd.name, "Zelda.bbd");
    assert.ok(bbd.bytes.subarray(16, 16 + 77).equals(
        Buffer.from("Caf\u00e9 \x80 ?".padEnd(77, " "), "latin1")), "the comment in Windows-1252");
    assert.ok(bbd.bytes.subarray(512).equals(Buffer.from(repeat(save.bytes, 4))), "the save four times");

    await page.getByLabel("Copier file format").selectOption({ label: "ufo: Super UFO save (.ufo)" });
    const ufo = await downloadOf(page, () => page.getByRole("button", { name: "Download Zelda.ufo" }).click());
    assert.equal(ufo.bytes.subarray(8, 16).toString("latin1"), "SUPERUFO");

    // A BBD file dropped on the comment field gives its comment; a file of another kind does not.
    await drop(page, "#comment", [keptBbd]);
    await page.getByText("Comment taken from Kept.bbd.").waitFor();
    assert.equal(await comment.inputValue(), "Kept from the copier".padEnd(77, " "));
    await drop(page, "#comment", [fig]);
    await page.getByText(/Fighter\.sav holds no comment to take: it is a Pro Fighter save/).waitFor();
    assert.equal(await comment.inputValue(), "Kept from the copier".padEnd(77, " "));
    assert.equal(await page.getByRole("listitem").count(), 1, "a drop on the comment adds no file");
    assert.deepEqual(requests, []);
});

test("the size question, and refusals with their reasons", async () => {
    const { page } = await openPage(browser.context);
    await pick(page, [differBbd, keptBbd, empty, unknown]);
    await entryOf(page, "film.bin").waitFor();
    const question = entryOf(page, "Mixed.bbd").getByRole("group", { name: /copies in this BBD file differ/ });
    assert.ok(await question.getByRole("radio", { name: "Whole 32 KiB" }).isChecked(), "the whole 32 KiB by default");
    assert.equal(await entryOf(page, "Kept.bbd").getByRole("group").isVisible(), false, "nothing to ask where copies agree");
    assert.equal(await resultOf(page, "empty.srm"), "Not converted: empty file");
    assert.equal(await resultOf(page, "film.bin"), "Not converted: larger than 32 KiB, the most the copier holds");
    await page.getByRole("status").filter({ hasText: "2 files ready, 2 not converted." }).waitFor();

    await page.getByRole("button", { name: "Remove Kept.bbd" }).click();
    await question.getByRole("radio", { name: "First 8 KiB" }).check();
    const first8 = await downloadOf(page, () => page.getByRole("button", { name: "Download Mixed.srm" }).click());
    assert.ok(first8.bytes.equals(Buffer.from(differBbd.bytes.subarray(512, 512 + 8 * KiB))), "the first copy alone");

    // The way a file goes can be changed, and the core says why the new way will not do.
    await pick(page, [save]);
    await page.getByLabel("Convert Zelda.srm", { exact: true }).selectOption("save");
    assert.equal(await resultOf(page, "Zelda.srm"), "Not converted: looks like an SRAM save, not a BBD file");
    await page.getByLabel("Convert Zelda.srm", { exact: true }).selectOption("gd3");
    await entryOf(page, "Zelda.srm").getByText("Not converted: not 32 KiB, the size of a Game Doctor save").waitFor();

    // Two files that would give the same name: the later is left out, as the command line does.
    await page.getByLabel("Convert Zelda.srm", { exact: true }).selectOption("copier");
    await pick(page, [{ name: "Zelda.sav", bytes: save.bytes }]);
    await entryOf(page, "Zelda.sav").getByText("Not converted: Zelda.bbd is also the output of an earlier file in the list").waitFor();
});

test("the format changed while a file is being read again as a Game Doctor save", async () => {
    const { page, errors } = await openPage(browser.context);
    await pick(page, [save]);
    // The read is still under way when the second change redraws every file.
    await page.getByLabel("Convert Zelda.srm", { exact: true }).evaluate((way) => {
        way.value = "gd3";
        way.dispatchEvent(new Event("change"));
        const format = document.getElementById("format");
        format.selectedIndex = 1;
        format.dispatchEvent(new Event("change"));
    });
    await entryOf(page, "Zelda.srm").getByText("Not converted: not 32 KiB, the size of a Game Doctor save").waitFor();
    assert.deepEqual(errors, []);
});

// Tab (or Shift+Tab) moves on until the focused element is the one named; it must be reachable.
async function tabTo(page, name, key = "Tab") {
    for (let i = 0; i < 40; ++i) {
        await page.keyboard.press(key);
        const focused = await page.evaluate(() => {
            const el = document.activeElement;
            return el.getAttribute("aria-label") || el.labels?.[0]?.textContent.trim() || el.textContent.trim();
        });
        if (focused.replace(/\s+/g, " ") === name) {
            return;
        }
    }
    assert.fail(`Tab never reaches "${name}"`);
}

test("a keyboard-only flow", async () => {
    const { page } = await openPage(browser.context);
    await tabTo(page, "Choose save or copier files");
    const [chooser] = await Promise.all([page.waitForEvent("filechooser"), page.keyboard.press("Space")]);
    assert.ok(chooser.isMultiple());
    await chooser.setFiles([save, differBbd].map((f) => ({ name: f.name, mimeType: "application/octet-stream", buffer: Buffer.from(f.bytes) })));
    await entryOf(page, "Mixed.bbd").waitFor();

    await tabTo(page, "Comment in BBD files");
    await page.keyboard.press("Control+A");
    await page.keyboard.type("Typed by keys");
    await tabTo(page, "Copier file format");
    await page.keyboard.press("ArrowDown");  // swc to fig
    assert.equal(await page.getByLabel("Copier file format").inputValue(), "1");
    await page.keyboard.press("ArrowUp");
    await tabTo(page, "Convert Mixed.bbd");
    await tabTo(page, "Whole 32 KiB");
    await page.keyboard.press("ArrowRight");
    assert.ok(await entryOf(page, "Mixed.bbd").getByRole("radio", { name: "First 8 KiB" }).isChecked());

    await tabTo(page, "Download 2 files as plimbrook.zip", "Shift+Tab");
    const zip = await downloadOf(page, () => page.keyboard.press("Enter"));
    assert.equal(zip.name, "plimbrook.zip");
    const { unzipSync } = await import("fflate");
    const files = unzipSync(new Uint8Array(zip.bytes));
    assert.deepEqual(Object.keys(files).sort(), ["Mixed.srm", "Zelda.bbd"]);
    assert.equal(files["Mixed.srm"].length, 8 * KiB);
    assert.equal(Buffer.from(files["Zelda.bbd"].subarray(16, 29)).toString("latin1"), "Typed by keys");
});

// Narrow screens: a phone, and a 1280-pixel window at 200 % zoom, which lays out as 640.
[{ title: "a phone, 375 px", width: 375, height: 740 }, { title: "200 % zoom of 1280 px", width: 640, height: 400 }]
    .forEach(({ title, width, height }) => {
        test(`nothing is cut off or scrolls sideways on ${title}`, async () => {
            const narrow = await openBrowser({ viewport: { width, height }, isMobile: width < 400, hasTouch: width < 400 });
            try {
                const { page } = await openPage(narrow.context);
                await pick(page, [differBbd, { name: "A save with a rather long name of the kind people give.srm", bytes: save.bytes }]);
                await entryOf(page, "Mixed.bbd").waitFor();
                const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
                assert.ok(overflow <= 0, `the page is ${overflow} px wider than the screen`);
                const controls = page.locator("input, select, button, label, a, h1, h2, h3, dd, legend");
                for (const box of await controls.evaluateAll((els) => els.filter((e) => e.offsetParent)
                    .map((e) => ({ what: e.outerHTML.slice(0, 60), ...e.getBoundingClientRect().toJSON() })))) {
                    assert.ok(box.left >= 0 && box.right <= width + 0.5, `${box.what} spans ${box.left}..${box.right}`);
                }
            } finally {
                await narrow.close();
            }
        });
    });

test("the single file opens from disk, with the about box's facts", async () => {
    requireNative();
    const html = readFileSync(singleFile, "utf8");
    const outside = html.match(/<script\s[^>]*src=[^>]*>|<link\s[^>]*href="(?!data:)[^>]*>/);
    assert.equal(outside, null, "everything is inside the one file");
    const { page, errors } = await openPage(browser.context, singleFileUrl);
    assert.match(page.url(), /^file:\/\//);
    const version = runNative(["--version"]).stdout.split("\n")[0].split(" ").at(-1);
    const footer = page.getByRole("contentinfo");
    await footer.getByText(`Plimbrook, version ${version}. Free software under the MIT licence.`).waitFor();
    const home = readFileSync(join(top, "shell/help_texts.h"), "utf8").match(/kHomePage = "([^"]+)"/)[1];
    assert.equal(await footer.getByRole("link", { name: home }).getAttribute("href"), home);
    assert.equal(await page.getByRole("heading", { level: 1 }).textContent(), "Plimbrook");
    assert.deepEqual(errors, []);
});

test("no request after load, from the single file or from the folder on a web server", async () => {
    const server = await serveFolder();
    try {
        for (const url of [singleFileUrl, server.url]) {
            const { page, requests, errors } = await openPage(browser.context, url);
            await drop(page, "body", [save, differBbd, empty]);
            await entryOf(page, "empty.srm").waitFor();
            await drop(page, "#comment", [keptBbd]);
            await page.getByText("Comment taken from Kept.bbd.").waitFor();
            await page.getByLabel("Copier file format").selectOption({ label: "gd3: Game Doctor save (.gd3)" });
            await downloadOf(page, () => page.getByRole("button", { name: "Download 2 files as plimbrook.zip" }).click());
            await page.getByRole("button", { name: "Remove all files" }).click();
            assert.deepEqual(requests, [], `${url} asked for more after it loaded`);
            assert.deepEqual(errors, []);
        }
        assert.deepEqual(server.served.sort(), ["/", "/app.js", "/comment_field.js", "/core.js", "/download.js",
            "/fflate.js", "/file_entry.js", "/plimbrook_core.js", "/plimbrook_core.wasm", "/style.css"]);
    } finally {
        await server.close();
    }
});
