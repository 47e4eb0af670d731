// Debian's Chromium, headless, driven by playwright-core: each browser with a profile of its
// own that is thrown away, and nothing that reaches out of the machine by itself.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { chromium } from "playwright-core";

export const top = join(dirname(fileURLToPath(import.meta.url)), "../../..");
export const webOut = process.env.PLIMBROOK_WEB_OUT || join(top, "out/web");
export const singleFile = join(webOut, "plimbrook.html");
export const singleFileUrl = pathToFileURL(singleFile).href;
export const siteFolder = join(webOut, "site");

const kArgs = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--no-first-run",
];

// A browser and a context that accepts downloads; close() ends both and removes the profile.
export async function openBrowser(contextOptions = {}) {
    const profile = mkdtempSync(join(tmpdir(), "plimbrook-chromium-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: process.env.PLIMBROOK_CHROMIUM || "/usr/bin/chromium",
        headless: true,
        args: kArgs,
        acceptDownloads: true,
        ...contextOptions,
    });
    // Every wait is for something the page does within a moment; a fault shows in seconds.
    context.setDefaultTimeout(10 * 1000);
    return {
        context,
        async close() {
            await context.close();
            rmSync(profile, { recursive: true, force: true });
        },
    };
}

// The page opened and ready for a drop, with every request made after it loaded recorded.
export async function openPage(context, url = singleFileUrl) {
    const page = await context.newPage();
    const errors = [];
    page.on("pageerror", (error) => errors.push(String(error)));
    await page.goto(url);
    await page.waitForSelector("html[data-ready='true']");
    // A request the page's own policy stops never reaches the network, but it was still asked.
    const requests = [];
    page.on("request", (request) => requests.push(request.url()));
    page.on("console", (message) => {
        if (/Content Security Policy/.test(message.text())) {
            requests.push(`refused by the page's policy: ${message.text()}`);
        }
    });
    return { page, requests, errors };
}

// Files given to the page's one file input, as a user picks them.
export async function pick(page, files) {
    await page.getByLabel("Choose save or copier files").setInputFiles(files.map((file) => ({
        name: file.name, mimeType: "application/octet-stream", buffer: Buffer.from(file.bytes),
    })));
}

// Files dropped on an element, as a file manager drops them: a DataTransfer holding them.
export async function drop(page, selector, files) {
    const payload = files.map((file) => ({
        name: file.name, base64: Buffer.from(file.bytes).toString("base64"),
    }));
    const transfer = await page.evaluateHandle((items) => {
        const data = new DataTransfer();
        for (const item of items) {
            const raw = atob(item.base64);
            const bytes = Uint8Array.from(raw, (c) => c.charCodeAt(0));
            data.items.add(new File([bytes], item.name));
        }
        return data;
    }, payload);
    await page.dispatchEvent(selector, "dragover", { dataTransfer: transfer });
    await page.dispatchEvent(selector, "drop", { dataTransfer: transfer });
}

// The bytes of the download that `action` starts, and the name it is saved under.
export async function downloadOf(page, action) {
    const [download] = await Promise.all([page.waitForEvent("download"), action()]);
    const path = await download.path();
    const { readFileSync } = await import("node:fs");
    return { name: download.suggestedFilename(), bytes: readFileSync(path) };
}

// The list item of a file, found by its name as a screen reader names it.
export function entryOf(page, name) {
    return page.getByRole("listitem", { name, exact: true });
}
