// The Rules panel: a switch per rule taken from OpenGL, in the ladder's order, and gl for
// all of them; the line counting the software frame against the page's own WebGL frame;
// the ladder for the view shown, and one pixel through it. The module counts and explains;
// the page shows what it says.
import { paintRgb } from './canvas.js';
import { limits } from './limits.js';
import { element } from './dom.js';

const $ = id => document.getElementById(id);

const ruleNames = () => limits.rules.map(r => r.name);

// The rules of ladder step k (0: the program's own, the last: gl), as --rules writes them.
export function ladderRules(k) {
    const names = ruleNames();
    return k <= 0 ? 'none' : k >= names.length ? 'gl' : names.slice(0, k).join(',');
}

// The rules as a list of names, in ladder order.
export function ruleList(rules) {
    return rules === 'none' ? [] : rules === 'gl' ? ruleNames() : rules.split(',');
}

// The switches; `choose(rules)` is called with the rules they now ask for.
export function wireRules(choose) {
    const switches = [...limits.rules.map(({ name, summary }) => ({ name, summary, id: `rule-${name}` })),
        { name: 'gl', summary: 'every rule: the frame OpenGL draws', id: 'rule-gl' }];
    $('rule-switches').replaceChildren(...switches.map(({ name, summary, id }) => {
        const box = element('input', { type: 'checkbox', id, 'data-rule': name });
        return element('label', { title: summary }, box, ` ${name}`);
    }));
    for (const name of ruleNames())
        $(`rule-${name}`).addEventListener('change', () =>
            choose(ruleNames().filter(n => $(`rule-${n}`).checked).join(',')));
    $('rule-gl').addEventListener('change', e => choose(e.target.checked ? 'gl' : 'none'));
}

export function syncRules(rules) {
    const on = ruleList(rules);
    for (const name of ruleNames())
        $(`rule-${name}`).checked = on.includes(name);
    $('rule-gl').checked = rules === 'gl';
}

// The ladder's table as the snapshot prints it, and a strip of the steps' difference
// pictures, each a button that shows that step on the frame (`show(k)`).
export function showLadder(result, pictures, show) {
    $('ladder-table').textContent = result.text;
    $('ladder-strip').replaceChildren(...result.steps.map((step, k) => {
        const canvas = element('canvas', { 'aria-hidden': 'true' });
        paintRgb(canvas, pictures[k].rgb, pictures[k].width, pictures[k].height);
        const button = element('button', { type: 'button', class: 'ladder-step', 'data-step': k,
            title: `Show step ${k} on the frame: the rules ${step.rules}, the difference rendering` },
            canvas, element('span', {}, `${k} ${step.rule}: ${step.differ}`));
        button.addEventListener('click', () => show(k));
        return button;
    }));
    $('ladder-result').hidden = false;
}

export function clearLadder() {
    $('ladder-table').textContent = '';
    $('ladder-strip').replaceChildren();
    $('ladder-result').hidden = true;
}

// What --explain prints for the pixel, or why there is nothing to say.
export function showExplanation(text) {
    const e = $('explain');
    if (e.textContent !== text)
        e.textContent = text;
    if (e.hidden !== !text)
        e.hidden = !text;
}
