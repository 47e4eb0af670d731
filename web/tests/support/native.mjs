// The native command line, which the page must match byte for byte.
import { spawnSync } from "node:child_process";
import { existsSync, readdirSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { top } from "./browser.mjs";

export const nativeProgram =
    process.env.PLIMBROOK_CONVERT || join(top, "out/normal/bin/plimbrook-convert");

export function requireNative() {
    if (!existsSync(nativeProgram)) {
        throw new Error(`${nativeProgram} is missing: build the native programs first ` +
                        "(scripts/build.sh out/normal)");
    }
}

// Runs plimbrook-convert; its status and what it said.
export function runNative(args) {
    const run = spawnSync(nativeProgram, args, { encoding: "utf8" });
    if (run.error) {
        throw run.error;
    }
    return { status: run.status, stdout: run.stdout, stderr: run.stderr };
}

// Every file of a folder by name, with its bytes.
export function folderContents(folder) {
    const files = new Map();
    for (const name of readdirSync(folder).sort()) {
        files.set(name, readFileSync(join(folder, name)));
    }
    return files;
}
