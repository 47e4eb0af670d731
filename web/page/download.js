// What leaves the core goes to the user as a download: one file under the name the command line
// would give it, several as one zip. Nothing is sent anywhere; the browser saves a blob.
"use strict";

window.PlimbrookDownload = (() => {
    const kZipName = "plimbrook.zip";

    // The input's name with the new extension in place of its own, as the command line names its
    // outputs (std::filesystem::path::replace_extension): a leading dot starts no extension.
    function outputName(name, extension) {
        const dot = name.lastIndexOf(".");
        const stem = dot > 0 && name !== ".." ? name.slice(0, dot) : name;
        return stem + extension;
    }

    function save(blob, name) {
        const link = document.createElement("a");
        link.href = URL.createObjectURL(blob);
        link.download = name;
        link.hidden = true;
        document.body.append(link);
        link.click();
        link.remove();
        // The browser has the blob once the click is handled; keep the address a while for
        // browsers that read it later.
        setTimeout(() => URL.revokeObjectURL(link.href), 60 * 1000);
    }

    // files: [{name, bytes}], in the order given; the names are already unique. Stored, not
    // deflated: the zip never travels, and storing keeps a large batch quick.
    function deliver(files) {
        if (files.length === 1) {
            save(new Blob([files[0].bytes], { type: "application/octet-stream" }), files[0].name);
            return files[0].name;
        }
        const entries = {};
        for (const file of files) {
            entries[file.name] = [file.bytes, { level: 0 }];
        }
        save(new Blob([window.fflate.zipSync(entries)], { type: "application/zip" }), kZipName);
        return kZipName;
    }

    return { outputName, deliver, kZipName };
})();
