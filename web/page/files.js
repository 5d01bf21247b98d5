// Files from a file input or dropped on an element, as (name, bytes, dropped).

export function onFiles(input, dropTarget, handle) {
    input?.addEventListener('change', async () => {
        const file = input.files[0];
        if (file)
            handle(file.name, new Uint8Array(await file.arrayBuffer()), false);
        input.value = '';
    });
    dropTarget.addEventListener('dragover', e => {
        e.preventDefault();
        e.stopPropagation();
        dropTarget.classList.add('dropping');
    });
    dropTarget.addEventListener('dragleave', () => dropTarget.classList.remove('dropping'));
    dropTarget.addEventListener('drop', async e => {
        e.preventDefault();
        e.stopPropagation();
        dropTarget.classList.remove('dropping');
        const file = e.dataTransfer.files[0];
        if (file)
            handle(file.name, new Uint8Array(await file.arrayBuffer()), true);
    });
}
