// The page as a static folder on a web server of the tests' own, on the loopback address only,
// which records every path it serves.
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize } from "node:path";
import { siteFolder } from "./browser.mjs";

const kTypes = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript",
    ".css": "text/css",
    ".wasm": "application/wasm",
};

export async function serveFolder(folder = siteFolder) {
    const served = [];
    const server = createServer(async (request, response) => {
        const path = new URL(request.url, "http://localhost").pathname;
        served.push(path);
        const file = join(folder, normalize(path === "/" ? "/index.html" : path));
        try {
            const body = await readFile(file);
            response.writeHead(200, { "Content-Type": kTypes[extname(file)] || "application/octet-stream" });
            response.end(body);
        } catch {
            response.writeHead(404);
            response.end();
        }
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    return {
        url: `http://127.0.0.1:${server.address().port}/`,
        served,
        close: () => new Promise((resolve) => server.close(resolve)),
    };
}
