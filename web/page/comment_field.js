// The comment field: a live count of its characters and a mark on each one the copier's code
// page cannot hold, or that falls past the comment's end. The core says what the code page
// holds and how long a comment is; the field only shows it.
"use strict";

window.PlimbrookComment = (() => {
    function describe(core, text) {
        const characters = Array.from(text);
        const parts = characters.map((character, index) => ({
            character,
            unheld: !core.codePageHolds(character.codePointAt(0)),
            pastEnd: index >= core.commentLength,
        }));
        return {
            count: characters.length,
            unheld: parts.filter((part) => part.unheld && !part.pastEnd).map((p) => p.character),
            pastEnd: Math.max(0, characters.length - core.commentLength),
            parts,
        };
    }

    function countText(core, facts) {
        const text = `${facts.count} of ${core.commentLength} characters`;
        if (facts.pastEnd === 0) {
            return text;
        }
        const last = facts.pastEnd === 1 ? "the last one is" : `the last ${facts.pastEnd} are`;
        return `${text}: ${last} left out`;
    }

    function markText(facts) {
        if (facts.unheld.length === 0) {
            return "";
        }
        const listed = Array.from(new Set(facts.unheld)).map((c) => `\u201c${c}\u201d`).join(", ");
        const them = facts.unheld.length === 1 ? "is" : "are";
        return `Not in the copier's code page (Windows-1252), so stored as \u201c?\u201d: ` +
            `${listed}. The marked ${facts.unheld.length === 1 ? "character" : "characters"} ` +
            `${them} shown below.`;
    }

    // The comment as it will be stored, with each marked character in a <mark>.
    function renderPreview(preview, facts) {
        preview.replaceChildren();
        for (const part of facts.parts) {
            if (part.unheld || part.pastEnd) {
                const mark = document.createElement("mark");
                mark.className = part.pastEnd ? "past-end" : "unheld";
                mark.textContent = part.character;
                mark.title = part.pastEnd ? "left out" : "stored as ?";
                preview.append(mark);
            } else {
                preview.append(part.character);
            }
        }
    }

    class CommentField {
        constructor(core, elements) {
            this.core = core;
            this.input = elements.input;
            this.count = elements.count;
            this.mark = elements.mark;
            this.preview = elements.preview;
            this.input.value = core.defaultComment;
            this.input.addEventListener("input", () => this.update());
            this.update();
        }

        get value() {
            return this.input.value;
        }

        set value(text) {
            this.input.value = text;
            this.update();
        }

        update() {
            const facts = describe(this.core, this.input.value);
            this.count.textContent = countText(this.core, facts);
            this.mark.textContent = markText(facts);
            renderPreview(this.preview, facts);
            const marked = facts.unheld.length > 0 || facts.pastEnd > 0;
            this.preview.hidden = !marked;
            this.input.setAttribute("aria-invalid", marked ? "true" : "false");
        }
    }

    return { CommentField };
})();
