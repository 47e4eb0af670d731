// The same bytes from the page as from the command line: every kind of file is dropped or picked
// on the real page in headless Chromium, and what it downloads, a single file or the zip of
// several, must be what plimbrook-convert writes from the same input with the same options.
import assert from "node:assert/strict";
import { closeSync, mkdirSync, mkdtempSync, openSync, rmSync, writeFileSync, ftruncateSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { unzipSync } from "fflate";
import { downloadOf, drop, entryOf, openBrowser, openPage } from "./support/browser.mjs";
import { folderContents, requireNative, runNative } from "./support/native.mjs";
import {
    KiB, bbdHeader, concat, noise, padded, pattern, proFighterHeader, repeat, retron5Of, rzipOf,
    superUfoHeader, ufoSdFile,
} from "./support/saves.mjs";

// way: the command that makes the same file (to-bbd, to-srm, or to-srm --format gd3); choose:
// the page's way is set by hand rather than left as the file's own; first8: the size question
// answered "First 8 KiB" (--size 8); refused: neither makes a file, for the same reason.
const save8 = pattern(8 * KiB, 1);
const rows = [
    ...[1, 2, 4, 8, 16, 32].map((k) => ({ name: `raw-${k}k.srm`, bytes: pattern(k * KiB, k), way: "to-bbd" })),
    { name: "odd-100.srm", bytes: noise(100, 3), way: "to-bbd" },
    { name: "odd-5000.srm", bytes: noise(5000, 4), way: "to-bbd" },
    { name: "clock-8217.srm", bytes: noise(8217, 5), way: "to-bbd" },
    { name: "emulator-8704.srm", bytes: noise(8704, 6), way: "to-bbd" },
    { name: "odd-20000.srm", bytes: noise(20000, 7), way: "to-bbd" },
    { name: "padded-zeros.srm", bytes: padded(save8, 128 * KiB, 0x00), way: "to-bbd" },
    { name: "padded-ff.srm", bytes: padded(noise(16 * KiB, 8), 128 * KiB, 0xff), way: "to-bbd" },
    { name: "padded-32k.srm", bytes: padded(noise(32 * KiB, 9), 128 * KiB, 0x00), way: "to-bbd" },
    { name: "retroarch.srm", bytes: rzipOf(noise(8 * KiB, 10)), way: "to-bbd" },
    { name: "retroarch-32k.srm", bytes: rzipOf(noise(32 * KiB, 11), 4 * KiB), way: "to-bbd" },
    { name: "retron5.sav", bytes: retron5Of(noise(8 * KiB, 12)), way: "to-bbd" },
    { name: "agree.bbd", bytes: concat(bbdHeader("Kept comment"), repeat(save8, 4)), way: "to-srm" },
    { name: "halves.bbd", bytes: concat(bbdHeader(), repeat(noise(16 * KiB, 13), 2)), way: "to-srm" },
    { name: "differ-whole.bbd", bytes: concat(bbdHeader("Differ"), noise(32 * KiB, 14)), way: "to-srm" },
    { name: "differ-first8.bbd", bytes: concat(bbdHeader(), noise(32 * KiB, 15)), way: "to-srm", first8: true },
    { name: "extra.bbd", bytes: concat(bbdHeader("Extra"), repeat(save8, 4), noise(100, 16)), way: "to-srm" },
    { name: "pro-fighter.sav", bytes: concat(proFighterHeader(), repeat(noise(8 * KiB, 17), 4)), way: "to-srm" },
    { name: "super.ufo", bytes: concat(superUfoHeader(), noise(32 * KiB, 18)), way: "to-srm" },
    { name: "card.ufosd", bytes: ufoSdFile(noise(8 * KiB, 19)), way: "to-srm" },
    { name: "card-2k.ufosd", bytes: ufoSdFile(noise(2 * KiB, 20)), way: "to-srm" },
    { name: "game-doctor.gd3", bytes: noise(32 * KiB, 21), way: "gd3", choose: true },
    { name: "empty.srm", bytes: new Uint8Array(0), way: "to-bbd", refused: true },
    { name: "unknown-40000.bin", bytes: noise(40000, 22), way: "to-bbd", refused: true },
    { name: "huge.bin", huge: 70 * KiB * KiB, way: "to-bbd", refused: true },
    { name: "damaged-retroarch.srm", bytes: rzipOf(noise(8 * KiB, 23)).subarray(0, 200), way: "to-bbd", refused: true },
    { name: "damaged-retron5.sav", bytes: retron5Of(noise(8 * KiB, 24), { crc: 1 }), way: "to-bbd", refused: true },
    { name: "save-as-copier.srm", bytes: save8, way: "to-srm", choose: true, refused: true },
    { name: "bbd-as-save.bbd", bytes: concat(bbdHeader(), repeat(save8, 4)), way: "to-bbd", choose: true, refused: true },
    { name: "not-game-doctor.srm", bytes: save8, way: "gd3", choose: true, refused: true },
];
// The command line's own golden inputs (tests/cli/golden_scene.h), byte for byte.
function goldenBbd(image, comment = "Kept comment") {
    const header = pattern(512, 11);
    header.set(Buffer.from(comment.padEnd(77, " "), "latin1"), 16);
    return concat(header, repeat(image, 4));
}
const keptBbd = goldenBbd(pattern(8 * KiB, 5));
const markedBbd = Uint8Array.from(keptBbd, (byte, at) => (at === 8 ? 0xaa : at === 9 ? 0xbb : byte));
rows.push(
    { name: "golden-game.srm", bytes: pattern(8 * KiB, 1), way: "to-bbd" },
    { name: "golden-big.srm", bytes: pattern(32 * KiB, 2), way: "to-bbd" },
    { name: "golden-mid.srm", bytes: pattern(16 * KiB, 7), way: "to-bbd" },
    { name: "golden-tiny.srm", bytes: pattern(KiB, 3), way: "to-bbd" },
    { name: "golden-clock.srm", bytes: pattern(8 * KiB + 25, 8), way: "to-bbd" },
    { name: "golden-odd.srm", bytes: pattern(100, 4), way: "to-bbd" },
    { name: "golden-huge.srm", bytes: pattern(40000, 9), way: "to-bbd", refused: true },
    { name: "golden-kept.bbd", bytes: keptBbd, way: "to-srm" },
    { name: "golden-marked.bbd", bytes: markedBbd, way: "to-srm" },
    { name: "golden-cut.bbd", bytes: keptBbd.subarray(0, 512 + 1000), way: "to-srm", choose: true, refused: true },
    { name: "golden-c1-comment.bbd", bytes: goldenBbd(pattern(8 * KiB, 5), "A\x9dB\x81C\x1b]0;x\x07"), way: "to-srm" },
);
const byName = new Map(rows.map((row) => [row.name, row]));
const saveSide = ["raw-1k.srm", "raw-8k.srm", "clock-8217.srm", "raw-32k.srm", "padded-zeros.srm",
                  "retroarch.srm", "retron5.sav"];
const copierSide = ["agree.bbd", "differ-first8.bbd", "super.ufo", "card.ufosd"];

// Each group is one visit to the page: its files at once, then its options.
const groups = [
    { title: "every kind, as BBD files and srm saves", format: "swc", comment: "Backup of December \u00e9 \u20ac",
      files: rows.map((row) => row.name) },
    { title: "Pro Fighter files and Retron 5 saves, dropped, the default comment", format: "fig",
      saveFormat: "retron5", drop: true, files: [...saveSide, ...copierSide] },
    { title: "Super UFO files, a comment past 77 characters and out of the code page", format: "ufo",
      comment: "\u65e5\u672c \u00ff".padEnd(90, "x"), files: saveSide },
    { title: "Super UFO Pro 8 SD files", format: "ufosd", files: saveSide },
    { title: "Game Doctor files", format: "gd3", files: saveSide },
];

let work;
let browser;
before(async () => {
    requireNative();
    work = mkdtempSync(join(tmpdir(), "plimbrook-same-bytes-"));
    mkdirSync(join(work, "in"));
    for (const row of rows) {
        const path = join(work, "in", row.name);
        if (row.huge) {
            // Its first bytes hold no known header, and the rest is never read.
            writeFileSync(path, noise(KiB * KiB, 25));
            const fd = openSync(path, "r+");
            ftruncateSync(fd, row.huge);
            closeSync(fd);
        } else {
            writeFileSync(path, row.bytes);
        }
    }
    browser = await openBrowser();
});
after(async () => {
    await browser?.close();
    rmSync(work, { recursive: true, force: true });
});

function nativeArgs(row, group, outDir) {
    const args = row.way === "to-bbd" ? ["to-bbd", "--format", group.format] : ["to-srm"];
    // Only BBD files carry a comment; the command line will not take one for the others.
    if (row.way === "to-bbd" && group.comment !== undefined && group.format === "swc") {
        args.push("--comment", group.comment);
    }
    if (row.way === "gd3") {
        args.push("--format", "gd3");
    }
    if (row.way !== "to-bbd" && group.saveFormat) {
        args.push("--save-format", group.saveFormat);
    }
    if (row.first8) {
        args.push("--size", "8");
    }
    return [...args, "--output-dir", outDir, "--", join(work, "in", row.name)];
}

// What the command line writes for the group's files, and what it says of those it refuses.
function nativeOutputs(group, index) {
    const outDir = join(work, `native-${index}`);
    mkdirSync(outDir);
    const refusals = new Map();
    for (const name of group.files) {
        const row = byName.get(name);
        const run = runNative(nativeArgs(row, group, outDir));
        assert.equal(run.status, row.refused ? 1 : 0, `${name}: ${run.stderr}`);
        if (row.refused) {
            refusals.set(name, run.stderr);
        }
    }
    return { files: folderContents(outDir), refusals };
}

async function choose(page, group) {
    const format = await page.locator("#format option", { hasText: `${group.format}:` }).textContent();
    await page.getByLabel("Copier file format").selectOption({ label: format });
    if (group.comment !== undefined) {
        await page.getByLabel("Comment in BBD files").fill(group.comment);
    }
    if (group.saveFormat) {
        await page.getByLabel("Saves are written as").selectOption(group.saveFormat);
    }
    for (const name of group.files) {
        const row = byName.get(name);
        if (row.choose) {
            const way = { "to-bbd": "copier", "to-srm": "save", gd3: "gd3" }[row.way];
            await page.getByLabel(`Convert ${name}`, { exact: true }).selectOption(way);
        }
        if (row.first8) {
            await entryOf(page, name).getByRole("radio", { name: "First 8 KiB" }).check();
        }
    }
}

async function give(page, group) {
    if (group.drop) {
        await drop(page, "body", group.files.map((name) => ({ name, bytes: byName.get(name).bytes })));
    } else {
        await page.getByLabel("Choose save or copier files")
            .setInputFiles(group.files.map((name) => join(work, "in", name)));
    }
    await entryOf(page, group.files.at(-1)).waitFor();
}

groups.forEach((group, index) => {
    test(`same bytes as plimbrook-convert: ${group.title}`, async () => {
        const expected = nativeOutputs(group, index);
        const { page, requests, errors } = await openPage(browser.context);
        await give(page, group);
        await choose(page, group);
        for (const [name, said] of expected.refusals) {
            const shown = await entryOf(page, name).locator(".result").textContent();
            const reason = shown.replace(/^Not converted: /, "");
            assert.notEqual(reason, shown, `${name} is converted on the page: ${shown}`);
            assert.ok(said.includes(`${name}: ${reason}`), `${name}: the page says "${reason}", the command line "${said}"`);
        }
        const zip = await downloadOf(page, () => page.getByRole("button", { name: /^Download \d+ files/ }).click());
        assert.equal(zip.name, "plimbrook.zip");
        const got = new Map(Object.entries(unzipSync(new Uint8Array(zip.bytes))).sort());
        assert.deepEqual([...got.keys()], [...expected.files.keys()]);
        for (const [name, bytes] of expected.files) {
            assert.ok(Buffer.from(got.get(name)).equals(bytes), `${name} differs from the command line's`);
        }
        assert.deepEqual(errors, []);
        assert.deepEqual(requests, []);
        await page.close();
    });
});

// One file downloads as itself, under the name the command line gives it.
const singles = [
    { file: "raw-8k.srm", format: "swc" },
    { file: "agree.bbd", format: "swc" },
    { file: "differ-whole.bbd", format: "swc", saveFormat: "retron5" },
    { file: "retroarch.srm", format: "ufosd", comment: "ignored" },
];
singles.forEach((single, index) => {
    test(`one file downloads as itself: ${single.file} (${single.format})`, async () => {
        const group = { ...single, files: [single.file] };
        const expected = nativeOutputs(group, `single-${index}`);
        const { page, requests } = await openPage(browser.context);
        await give(page, group);
        await choose(page, group);
        const [[name, bytes]] = [...expected.files];
        const got = await downloadOf(page, () => page.getByRole("button", { name: `Download ${name}` }).click());
        assert.equal(got.name, name);
        assert.ok(got.bytes.equals(bytes), `${name} differs from the command line's`);
        assert.deepEqual(requests, []);
        await page.close();
    });
});
