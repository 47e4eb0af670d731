// The core in the page: a file's bytes into the WebAssembly module's memory, its reading and the
// new file's bytes out. Nothing here decides anything about a file; the core does (binding.cpp).
"use strict";

window.PlimbrookBinding = (() => {
    function decodeBase64(text) {
        const raw = atob(text);
        const bytes = new Uint8Array(raw.length);
        for (let i = 0; i < raw.length; ++i) {
            bytes[i] = raw.charCodeAt(i);
        }
        return bytes;
    }

    class Core {
        constructor(module) {
            this.m = module;
            this.commentLength = module._pb_comment_length();
            this.defaultComment = this.text(module._pb_default_comment());
            this.version = this.text(module._pb_version());
            this.maxReadSize = module._pb_max_read_size();
            this.headSize = module._pb_head_size();
            this.formats = [];
            for (let i = 0; i < module._pb_format_count(); ++i) {
                this.formats.push({
                    option: this.text(module._pb_format_option(i)),
                    kind: this.text(module._pb_format_kind(i)),
                    extension: this.text(module._pb_format_extension(i)),
                });
            }
        }

        // The single file carries the module inline; the folder's page loads it beside itself.
        static async load() {
            const options = {};
            if (window.PLIMBROOK_WASM) {
                options.wasmBinary = decodeBase64(window.PLIMBROOK_WASM);
            }
            return new Core(await window.PlimbrookCore(options));
        }

        text(pointer) {
            return this.m.UTF8ToString(pointer);
        }

        withBytes(bytes, use) {
            const pointer = this.m._malloc(Math.max(bytes.length, 1));
            this.m.HEAPU8.set(bytes, pointer);
            try {
                return use(pointer);
            } finally {
                this.m._free(pointer);
            }
        }

        withText(text, use) {
            const size = this.m.lengthBytesUTF8(text) + 1;
            const pointer = this.m._malloc(size);
            this.m.stringToUTF8(text, pointer, size);
            try {
                return use(pointer);
            } finally {
                this.m._free(pointer);
            }
        }

        // `bytes`: the whole file, or its first headSize bytes where it is larger than
        // maxReadSize; `fileSize`: its real size.
        read(bytes, fileSize, asGameDoctor) {
            const m = this.m;
            const handle = this.withBytes(bytes, (pointer) =>
                m._pb_read(pointer, bytes.length, fileSize, asGameDoctor ? 1 : 0));
            const lines = [];
            for (let i = 0; i < m._pb_info_count(handle); ++i) {
                lines.push({
                    key: this.text(m._pb_info_key(handle, i)),
                    value: this.text(m._pb_info_value(handle, i)),
                });
            }
            return {
                handle,
                lines,
                reason: this.text(m._pb_reason(handle)),
                toSave: m._pb_direction(handle) === 1,
                copiesDiffer: m._pb_copies_differ(handle) === 1,
                holdsComment: m._pb_holds_comment(handle) === 1,
                comment: this.text(m._pb_comment(handle)),
            };
        }

        release(reading) {
            if (reading.handle) {
                this.m._pb_reading_free(reading.handle);
            }
        }

        // request: {toSave, format (an index of formats), retron5, comment, whenCopiesDiffer};
        // without `bytes`, only what the conversion says, not what it wrote.
        convert(reading, request, { bytes = true } = {}) {
            const m = this.m;
            if (!reading.handle) {
                return { reason: reading.reason, extension: "", bytes: null, notes: [] };
            }
            const output = this.withText(request.comment, (comment) =>
                m._pb_convert(reading.handle, request.toSave ? 1 : 0, request.format,
                              request.retron5 ? 1 : 0, comment, request.whenCopiesDiffer || 0));
            try {
                const notes = [];
                for (let i = 0; i < m._pb_output_note_count(output); ++i) {
                    notes.push({
                        text: this.text(m._pb_output_note(output, i)),
                        warning: m._pb_output_note_warning(output, i) === 1,
                    });
                }
                const data = m._pb_output_data(output);
                return {
                    reason: this.text(m._pb_output_reason(output)),
                    extension: this.text(m._pb_output_extension(output)),
                    bytes: bytes ? m.HEAPU8.slice(data, data + m._pb_output_size(output)) : null,
                    notes,
                };
            } finally {
                m._pb_output_free(output);
            }
        }

        codePageHolds(codePoint) {
            return this.m._pb_code_page_holds(codePoint) === 1;
        }
    }

    return { Core };
})();
