// assemble.mjs BUILD_DIR OUT_DIR: makes the page from web/page/, the core's module in BUILD_DIR
// and the zip writer from node_modules: OUT_DIR/plimbrook.html, one file with everything inside
// (its wasm as base64), and OUT_DIR/site/, the same page as a folder for any web server.
import { copyFileSync, mkdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const web = join(dirname(fileURLToPath(import.meta.url)), "..");
const [buildDir, outDir] = process.argv.slice(2);
if (!buildDir || !outDir) {
    console.error("usage: assemble.mjs BUILD_DIR OUT_DIR");
    process.exit(2);
}

// The page's scripts in the order they load: the zip writer, the module's loader, then ours.
const scripts = [
    { file: join(web, "node_modules/fflate/umd/index.js"), name: "fflate.js" },
    { file: join(buildDir, "plimbrook_core.js"), name: "plimbrook_core.js" },
    ...["core.js", "comment_field.js", "file_entry.js", "download.js", "app.js"].map((name) => ({
        file: join(web, "page", name), name,
    })),
];

// The maker's name and address, as the about box gives them.
function aboutFacts() {
    const texts = readFileSync(join(web, "../shell/help_texts.h"), "utf8");
    const value = (name) => {
        const found = texts.match(new RegExp(`${name} =\\s*"([^"]*)"`));
        if (!found) {
            throw new Error(`shell/help_texts.h has no ${name}`);
        }
        return found[1].replace(/\\u([0-9a-fA-F]{4})/g, (_, hex) => String.fromCodePoint(parseInt(hex, 16)));
    };
    return { homePage: value("kHomePage"), creditLine: value("kCreditLine") };
}

function escapeHtml(text) {
    return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;").replace(/"/g, "&quot;");
}

// No request leaves the page: the single file may load nothing at all, the folder only its own
// files. Scripts may compile WebAssembly.
const policies = {
    single: "default-src 'none'; script-src 'unsafe-inline' 'unsafe-eval'; style-src 'unsafe-inline'; " +
        "img-src data:; base-uri 'none'; form-action 'none'",
    site: "default-src 'none'; script-src 'self' 'unsafe-eval'; style-src 'self'; connect-src 'self'; " +
        "img-src 'self' data:; base-uri 'none'; form-action 'none'",
};

function page(policy, styles, scriptTags) {
    const facts = aboutFacts();
    const fill = {
        "@POLICY@": policy,
        "@STYLES@": styles,
        "@SCRIPTS@": scriptTags,
        "@HOME_PAGE@": escapeHtml(facts.homePage),
        "@CREDIT_LINE@": escapeHtml(facts.creditLine),
    };
    const template = readFileSync(join(web, "page/index.html"), "utf8");
    return template.replace(/@[A-Z_]+@/g, (key) => {
        if (!(key in fill)) {
            throw new Error(`index.html: nothing to fill ${key} with`);
        }
        return fill[key];
    });
}

// Inline, "</script" would end the element early; "<\/script" means the same in JavaScript.
function inlineScript(text) {
    return `<script>${text.replace(/<\/script/gi, "<\\/script")}</script>`;
}

function single() {
    const css = readFileSync(join(web, "page/style.css"), "utf8");
    const wasm = readFileSync(join(buildDir, "plimbrook_core.wasm")).toString("base64");
    const tags = scripts.map(({ file }) => inlineScript(readFileSync(file, "utf8")));
    tags.splice(2, 0, inlineScript(`window.PLIMBROOK_WASM="${wasm}";`));
    const html = page(policies.single, `<style>${css}</style>`, tags.join("\n"));
    writeFileSync(join(outDir, "plimbrook.html"), html);
}

function site() {
    const folder = join(outDir, "site");
    rmSync(folder, { recursive: true, force: true });
    mkdirSync(folder, { recursive: true });
    for (const { file, name } of scripts) {
        copyFileSync(file, join(folder, name));
    }
    copyFileSync(join(buildDir, "plimbrook_core.wasm"), join(folder, "plimbrook_core.wasm"));
    copyFileSync(join(web, "page/style.css"), join(folder, "style.css"));
    const tags = scripts.map(({ name }) => `<script src="${name}"></script>`).join("\n");
    writeFileSync(join(folder, "index.html"),
                  page(policies.site, '<link rel="stylesheet" href="style.css">', tags));
}

mkdirSync(outDir, { recursive: true });
single();
site();
