// The page: files dropped or picked are read by the core, listed with what they hold, converted
// with the chosen comment and format, and downloaded. Nothing leaves the page.
"use strict";

(() => {
    const { Core } = window.PlimbrookBinding;
    const { CommentField } = window.PlimbrookComment;
    const { FileEntry } = window.PlimbrookFileEntry;
    const { outputName, deliver, kZipName } = window.PlimbrookDownload;
    const byId = (id) => document.getElementById(id);

    const state = { core: null, comment: null, entries: [], nextId: 1 };

    // A file too large to be any save is refused from its size and first bytes: only those are
    // read, so a film dropped by mistake costs nothing.
    async function bytesOf(file) {
        const core = state.core;
        const part = file.size > core.maxReadSize ? file.slice(0, core.headSize) : file;
        return new Uint8Array(await part.arrayBuffer());
    }

    // Each file is read as a stream, without asking its size first: the browser answers that
    // question for a picked or dropped file with a round trip of its own, which costs more than
    // reading a save. Only a file that outgrows headSize is asked its size, and one larger than
    // maxReadSize keeps only its first headSize bytes. Gives {bytes, size}, or null for a file
    // the browser could not read.
    async function contentsOf(file) {
        const { maxReadSize, headSize } = state.core;
        const parts = [];
        let held = 0;
        let tooLarge = false;
        try {
            const reader = file.stream().getReader();
            for (;;) {
                const { done, value } = await reader.read();
                if (done) {
                    break;
                }
                parts.push(value);
                held += value.length;
                if (held > headSize && file.size > maxReadSize) {
                    tooLarge = true;
                    reader.cancel().catch(() => {});
                    break;
                }
            }
        } catch {
            return null;  // gone or changed since it was picked: the others are still read
        }
        const bytes = parts.length === 1 ? parts[0] : new Uint8Array(held);
        if (parts.length > 1) {
            let at = 0;
            for (const part of parts) {
                bytes.set(part, at);
                at += part.length;
            }
        }
        return tooLarge ? { bytes: bytes.subarray(0, headSize), size: file.size }
            : { bytes, size: held };
    }

    // A file the browser could not read is listed with that reason, as the core's are.
    function unreadable(file) {
        return {
            handle: null, lines: [{ key: "type", value: `${file.size} bytes, not readable now` }],
            reason: "the browser could not read the file", toSave: false, copiesDiffer: false,
            holdsComment: false, comment: "",
        };
    }

    function requestFor(entry) {
        return {
            ...entry.request,
            format: Number(byId("format").value),
            retron5: byId("save-format").value === "retron5",
            comment: state.comment.value,
        };
    }

    // Each file's outcome, named as the command line names it; a name that an earlier file of
    // the list already gives is not written twice, as the command line does not.
    function refresh() {
        const names = new Set();
        for (const entry of state.entries) {
            const reading = entry.activeReading;
            const converted = state.core.convert(reading, requestFor(entry), { bytes: false });
            const name = outputName(entry.name, converted.extension);
            let reason = converted.reason;
            if (!reason && names.has(name)) {
                reason = `${name} is also the output of an earlier file in the list`;
            }
            if (!reason) {
                names.add(name);
            }
            entry.show({ reason, name, notes: reason ? [] : converted.notes });
        }
        showReadiness();
    }

    function showReadiness() {
        const ready = state.entries.filter((entry) => entry.ready());
        const refused = state.entries.length - ready.length;
        const button = byId("download");
        button.disabled = ready.length === 0;
        if (ready.length < 2) {
            button.textContent = ready.length ? `Download ${ready[0].outcome.name}` : "Download";
        } else {
            button.textContent = `Download ${ready.length} files as ${kZipName}`;
        }
        byId("clear").disabled = state.entries.length === 0;
        const parts = [`${ready.length} ${ready.length === 1 ? "file" : "files"} ready`];
        if (refused > 0) {
            parts.push(`${refused} not converted`);
        }
        byId("status").textContent = state.entries.length ? `${parts.join(", ")}.` : "";
    }

    function release(entry) {
        state.core.release(entry.reading);
        if (entry.gameDoctorReading) {
            state.core.release(entry.gameDoctorReading);
        }
        entry.node.remove();
    }

    function remove(entry) {
        release(entry);
        state.entries = state.entries.filter((other) => other !== entry);
        refresh();
        byId("files").focus();
    }

    function takeComment(entry) {
        state.comment.value = entry.reading.comment;
        byId("comment-source").textContent = `Comment taken from ${entry.name}.`;
    }

    async function readAsGameDoctor(entry) {
        const bytes = await bytesOf(entry.file).catch(() => null);
        entry.gameDoctorReading = bytes ? state.core.read(bytes, entry.file.size, true)
            : unreadable(entry.file);
        // Removed while it was being read: nothing will release it later.
        if (!state.entries.includes(entry)) {
            state.core.release(entry.gameDoctorReading);
            entry.gameDoctorReading = null;
        }
    }

    const handlers = { changed: refresh, remove, takeComment, readAsGameDoctor };

    async function addFiles(fileList) {
        const files = Array.from(fileList);
        if (files.length === 0) {
            return;
        }
        const contents = await Promise.all(files.map(contentsOf));
        const fragment = document.createDocumentFragment();
        files.forEach((file, index) => {
            const read = contents[index];
            const reading = read ? state.core.read(read.bytes, read.size, false) : unreadable(file);
            const entry = new FileEntry(state.nextId++, file.name, reading, handlers);
            entry.file = file;
            state.entries.push(entry);
            fragment.append(entry.node);
        });
        byId("list").append(fragment);
        refresh();
    }

    // A BBD file dropped on the comment field gives its comment, as Open BBD Comment does.
    async function commentFromFile(file) {
        const reading = state.core.read(await bytesOf(file), file.size, false);
        const source = byId("comment-source");
        if (reading.holdsComment) {
            state.comment.value = reading.comment;
            source.textContent = `Comment taken from ${file.name}.`;
        } else {
            source.textContent = `${file.name} holds no comment to take: it is a ` +
                `${reading.lines[0].value}${reading.reason ? ` (${reading.reason})` : ""}.`;
        }
        state.core.release(reading);
    }

    function download() {
        const files = [];
        for (const entry of state.entries.filter((e) => e.ready())) {
            const converted = state.core.convert(entry.activeReading, requestFor(entry));
            files.push({ name: entry.outcome.name, bytes: converted.bytes });
        }
        const name = deliver(files);
        byId("status").textContent = files.length === 1 ? `Downloaded ${name}.`
            : `Downloaded ${name} with ${files.length} files.`;
    }

    function clearAll() {
        state.entries.forEach(release);
        state.entries = [];
        refresh();
        byId("files").focus();
    }

    function hasFiles(event) {
        return Array.from(event.dataTransfer?.types || []).includes("Files");
    }

    function listenForDrops() {
        const comment = byId("comment");
        document.addEventListener("dragover", (event) => {
            if (hasFiles(event)) {
                event.preventDefault();
                document.body.classList.add("dragging");
            }
        });
        document.addEventListener("dragleave", (event) => {
            if (!event.relatedTarget) {
                document.body.classList.remove("dragging");
            }
        });
        document.addEventListener("drop", (event) => {
            document.body.classList.remove("dragging");
            if (hasFiles(event)) {
                event.preventDefault();
                addFiles(event.dataTransfer.files);
            }
        });
        comment.addEventListener("drop", (event) => {
            if (hasFiles(event) && event.dataTransfer.files.length > 0) {
                event.preventDefault();
                event.stopPropagation();
                document.body.classList.remove("dragging");
                commentFromFile(event.dataTransfer.files[0]);
            }
        });
    }

    function fillFormats(core) {
        const select = byId("format");
        core.formats.forEach((format, index) => {
            select.append(new Option(`${format.option}: ${format.kind} (${format.extension})`,
                                     String(index)));
        });
        select.addEventListener("change", refresh);
        byId("save-format").addEventListener("change", refresh);
    }

    async function start() {
        try {
            state.core = await Core.load();
        } catch (error) {
            byId("status").textContent = `The converter could not start here: ${error}`;
            return;
        }
        byId("version").textContent = state.core.version;
        fillFormats(state.core);
        state.comment = new CommentField(state.core, {
            input: byId("comment"), count: byId("comment-count"), mark: byId("comment-mark"),
            preview: byId("comment-preview"),
        });
        byId("files").addEventListener("change", async (event) => {
            await addFiles(event.target.files);
            event.target.value = "";
        });
        byId("download").addEventListener("click", download);
        byId("clear").addEventListener("click", clearAll);
        listenForDrops();
        byId("files").disabled = false;
        document.documentElement.dataset.ready = "true";
        performance.mark("plimbrook-ready");  // for bench/web.sh
    }

    start();
})();
