// The property inspector page in headless Chromium against a stand-in
// Stream Deck host: registration, lists with and without thumbnails, the
// settings a click writes, the key image, the not-running state and the
// page's languages.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { BUNDLE, InspectorHarness, REGISTER_EVENT } from './harness.mjs';

const ID = 'com.brimcove.zorvaneplugin.';
const NOT_RUNNING = 'The Zorvane desktop application is not running.';
const manifest = JSON.parse(fs.readFileSync(path.join(BUNDLE, 'manifest.json'), 'utf8'));
const tooltipOf = (uuid) => manifest.Actions.find((a) => a.UUID === uuid).Tooltip;

let harness;
let thumbs;

before(async () => {
  const image = (name) => fs.readFileSync(path.join(BUNDLE, 'images', 'keys', name));
  // Carol has no picture: her thumbnail must fall back to a placeholder.
  const fixtures = new Map([
    ['thumbs/alice.png', image('changeavatar@2x.png')],
    ['thumbs/Bob.png', image('emote@2x.png')],
    ['thumbs/1.png', image('quickslot.png')],
  ]);
  harness = await InspectorHarness.start(fixtures);
  thumbs = `${harness.httpBase}/fixtures/thumbs`;
});

after(async () => {
  await harness.stop();
});

// What a picker shows: each option's text, whether it is selected and its
// thumbnail (loaded image URL, "placeholder", or null without tiles).
function readPicker(page) {
  return page.$$eval('#item-list [role="option"]', (options) =>
    options.map((option) => {
      const img = option.querySelector('img.thumb');
      const box = option.querySelector('span.thumb');
      let thumbnail = null;
      if (img) thumbnail = img.complete && img.naturalWidth > 0 ? img.src : 'loading';
      else if (box) thumbnail = 'placeholder';
      return {
        text: option.querySelector('.item-text').textContent,
        selected: option.getAttribute('aria-selected') === 'true',
        thumbnail,
      };
    }),
  );
}

async function waitForOptions(page, count) {
  await page.waitForFunction((n) => {
    const options = document.querySelectorAll('#item-list [role="option"]');
    return (
      options.length === n &&
      [...options].every((o) => [...o.querySelectorAll('img')].every((img) => img.complete))
    );
  }, count);
}

function optionNamed(page, text) {
  return page.locator('#item-list [role="option"]', { hasText: text }).first();
}

const avatarList = () => ({
  listType: 'avatar',
  itemList: [{ name: 'Alice', thumbnail: 'alice.png' }, { Name: 'Bob' }, 'Carol'],
  imagePath: thumbs,
});

describe('registration and the state before any list', () => {
  test('registers with its uuid and shows the stored settings and the not-running notice', async () => {
    const { page, uuid, registration, errors } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice', image: 'C:\\keys\\alice.png' },
    });
    assert.deepEqual(registration, { event: REGISTER_EVENT, uuid });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.match(
      await page.textContent('#not-running'),
      /The Zorvane desktop application is not running\./,
    );
    assert.equal(await page.textContent('#current-value'), 'Alice');
    assert.equal(await page.inputValue('#image-path'), 'C:\\keys\\alice.png');
    assert.equal(await page.textContent('#about'), tooltipOf(ID + 'changeavatar'));
    assert.equal(await page.isVisible('#item-list'), false);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a key without settings says nothing is chosen', async () => {
    const { page } = await harness.open({ action: ID + 'pose' });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.equal(await page.textContent('#current-value'), 'Nothing chosen yet');
    assert.equal(await page.inputValue('#image-path'), '');
    await page.close();
  });

  test('without a list, the stored entry is named by its label when there is one', async () => {
    const cases = [
      // [action, settings, what "Selected:" shows, controller]
      ['changeavatar', { value: 'bob-2', label: 'Bob' }, 'Bob'],
      ['changeavatar', { value: 'bob-2', label: 'Bob' }, 'Bob', 'Encoder'],
      ['pose', { value: 3, label: 'Peace' }, 'Peace'],
      ['changeavatar', { value: 'bob-2', label: '' }, 'bob-2'],
      ['changeavatar', { value: 'bob-2', label: 7 }, 'bob-2'],
      ['pose', { label: 'Peace' }, 'Nothing chosen yet'],
    ];
    for (const [action, settings, shown, controller] of cases) {
      const { page } = await harness.open({ action: ID + action, settings, controller });
      await page.locator('#not-running').waitFor({ state: 'visible' });
      assert.equal(await page.textContent('#current-value'), shown, JSON.stringify(settings));
      await page.close();
    }
  });

  test('broadcast and calibrate keys have no picker, only the key image', async () => {
    for (const action of ['broadcast', 'calibrate']) {
      const { page, host } = await harness.open({ action: ID + action });
      assert.equal(await page.textContent('#about'), tooltipOf(ID + action));
      assert.equal(await page.isVisible('#choice'), false);
      assert.equal(await page.isVisible('#not-running'), false, action);
      assert.equal(await page.isVisible('#image-path'), true);

      host.sendToPropertyInspector({ appDidClose: true });
      await page.locator('#not-running').waitFor({ state: 'visible' });
      assert.match(await page.textContent('#not-running'), /Start Zorvane to use this key\./);
      await page.close();
    }
  });

  test('on a dial they speak of the dial and show no key image', async () => {
    for (const action of ['broadcast', 'calibrate']) {
      const { page, host } = await harness.open({ action: ID + action, controller: 'Encoder' });
      assert.equal(await page.isVisible('#key-image'), false, action);
      host.sendToPropertyInspector({ appDidClose: true });
      await page.locator('#not-running').waitFor({ state: 'visible' });
      assert.match(await page.textContent('#not-running'), /Start Zorvane to use this dial\./);
      await page.close();
    }
  });
});

describe('lists and the settings a click writes', () => {
  test('an avatar list shows thumbnails, marks the stored avatar and writes the clicked one as text', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice', image: 'C:\\keys\\alice.png' },
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);
    assert.equal(await page.isVisible('#not-running'), false);
    assert.deepEqual(await readPicker(page), [
      { text: 'Alice', selected: true, thumbnail: `${thumbs}/alice.png` },
      { text: 'Bob', selected: false, thumbnail: `${thumbs}/Bob.png` },
      { text: 'Carol', selected: false, thumbnail: 'placeholder' },
    ]);
    await harness.screenshot(page, 'inspector-avatar-list.png');

    await optionNamed(page, 'Bob').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Bob', label: 'Bob', image: 'C:\\keys\\alice.png' },
    });
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.selected),
      [false, true, false],
    );
    assert.equal(await page.textContent('#current-value'), 'Bob');
    // The picker was updated in place: the clicked button still has the focus.
    assert.equal(await page.evaluate(() => document.activeElement.title), 'Bob');
    await page.close();
  });

  test('pose, special action and idle keys write numbers', async () => {
    const cases = [
      // Objects with ids, one of them given as digits.
      {
        action: 'pose',
        listType: 'pose',
        itemList: [
          { name: 'Wave', id: 4 },
          { name: 'Peace', id: '7' },
        ],
        click: 'Peace',
        value: 7,
      },
      // Plain names: the position in the list is the value.
      {
        action: 'specialaction',
        listType: 'special_action',
        itemList: ['Jump', 'Spin', 'Bow'],
        click: 'Spin',
        value: 1,
      },
      {
        action: 'idle',
        listType: 'idle',
        itemList: [
          { label: 'Breathe', value: 0 },
          { label: 'Look around', value: 12 },
        ],
        click: 'Look around',
        value: 12,
      },
    ];
    for (const c of cases) {
      const { page, uuid, host } = await harness.open({
        action: ID + c.action,
        settings: { image: 'k.png' },
      });
      host.sendToPropertyInspector({ listType: c.listType, itemList: c.itemList });
      await waitForOptions(page, c.itemList.length);
      const picker = await readPicker(page);
      assert.ok(
        picker.every((o) => o.thumbnail === null),
        `${c.action}: no thumbnails without imagePath`,
      );
      await optionNamed(page, c.click).click();
      assert.deepEqual(
        await host.frames.next(),
        {
          event: 'setSettings',
          context: uuid,
          payload: { image: 'k.png', value: c.value, label: c.click },
        },
        c.action,
      );
      if (c.action === 'pose') await harness.screenshot(page, 'inspector-pose-list.png');
      await page.close();
    }
  });

  test('emote, quick slot and background keys write text, also for numeric items', async () => {
    const cases = [
      {
        action: 'emote',
        listType: 'emote',
        itemList: [
          { title: 'Laugh', value: 12 },
          { title: 'Cry', value: 13 },
        ],
        click: 'Laugh',
        value: '12',
      },
      {
        action: 'quickslot',
        listType: 'quickslot',
        itemList: ['1', '2'],
        click: '1',
        value: '1',
        thumbnail: `${thumbs}/1.png`,
      },
      {
        action: 'changebackground',
        listType: 'background',
        itemList: [{ id: 'beach', displayName: 'Beach' }],
        click: 'Beach',
        value: 'beach',
      },
    ];
    for (const c of cases) {
      const { page, uuid, host } = await harness.open({ action: ID + c.action });
      host.sendToPropertyInspector({
        listType: c.listType,
        itemList: c.itemList,
        imagePath: thumbs,
      });
      await waitForOptions(page, c.itemList.length);
      if (c.thumbnail) assert.equal((await readPicker(page))[0].thumbnail, c.thumbnail);
      await optionNamed(page, c.click).click();
      assert.deepEqual(
        await host.frames.next(),
        {
          event: 'setSettings',
          context: uuid,
          payload: { value: c.value, label: c.click },
        },
        c.action,
      );
      await page.close();
    }
  });

  test('settings from the host move the selection; a value missing from the list is named as such', async () => {
    const { page, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice' },
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);

    host.didReceiveSettings({ value: 'Carol' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'Carol',
    );
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.selected),
      [false, false, true],
    );

    host.didReceiveSettings({ value: 'Zed' });
    await page.waitForFunction(() =>
      document.querySelector('#current-value').textContent.startsWith('Zed'),
    );
    assert.equal(await page.textContent('#current-value'), "Zed (not in Zorvane's list)");
    assert.ok((await readPicker(page)).every((o) => !o.selected));
    await page.close();
  });

  test("a dial's inspector shows the same picker, no key image, and follows the dial's turns", async () => {
    const { page, uuid, host, errors } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice' },
      controller: 'Encoder',
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);
    assert.deepEqual(
      (await readPicker(page)).map((o) => [o.text, o.selected]),
      [
        ['Alice', true],
        ['Bob', false],
        ['Carol', false],
      ],
    );
    assert.equal(await page.isVisible('#key-image'), false);

    // Turning the dial: the plug-in stores the next avatar with setSettings,
    // which the Stream Deck application hands on to the open inspector.
    host.didReceiveSettings({ value: 'Bob' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'Bob',
    );
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.selected),
      [false, true, false],
    );
    await harness.screenshot(page, 'inspector-dial-avatar-list.png');

    await optionNamed(page, 'Carol').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Carol', label: 'Carol' },
    });
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a list of another kind is ignored and an empty list says so', async () => {
    const { page, host } = await harness.open({ action: ID + 'emote' });
    host.sendToPropertyInspector({ listType: 'avatar', itemList: ['Alice'], imagePath: thumbs });
    // Frames are handled in order: once these settings show, the list before them was handled too.
    host.didReceiveSettings({ value: 'wave' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'wave',
    );
    assert.equal(await page.isVisible('#not-running'), true);
    assert.equal(await page.locator('#item-list [role="option"]').count(), 0);

    host.sendToPropertyInspector({ listType: 'emote', itemList: [] });
    await page.locator('#empty-list').waitFor({ state: 'visible' });
    assert.equal(await page.isVisible('#not-running'), false);
    assert.equal(await page.isVisible('#item-list'), false);
    await page.close();
  });
});

describe('a list from a forger', () => {
  // Any process on the desktop can send the plug-in a list that looks like
  // the desktop application's: whatever it holds is shown as text.
  test('markup in a list entry is shown as text and runs nothing', async () => {
    const { page, uuid, host } = await harness.open({ action: ID + 'emote' });
    const forged = [
      '<img src="x" onerror="window.forged = 1">',
      '<script>window.forged = 2</script>',
      '<b>bold</b> & <i>more</i>',
    ];
    host.sendToPropertyInspector({
      listType: 'emote',
      itemList: forged.map((name) => ({ name, value: name })),
      imagePath: thumbs,
    });
    await waitForOptions(page, 3);
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.text),
      forged,
    );
    assert.equal(await page.locator('#item-list b, #item-list script, #item-list i').count(), 0);
    assert.equal(await page.locator('#item-list img:not(.thumb)').count(), 0);
    assert.equal(await page.evaluate(() => window.forged), undefined);

    await optionNamed(page, 'bold').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: forged[2], label: forged[2] },
    });
    await page.close();
  });
});

describe('the desktop application closing and coming back', () => {
  test('appDidClose replaces the list by the not-running notice, a new list brings it back', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Bob' },
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);

    host.sendToPropertyInspector({ appDidClose: true });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.match(await page.textContent('#not-running'), /Start Zorvane to choose from its list\./);
    assert.equal(await page.isVisible('#item-list'), false);
    assert.equal(await page.textContent('#current-value'), 'Bob');
    await harness.screenshot(page, 'inspector-not-running.png');

    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);
    assert.equal(await page.isVisible('#not-running'), false);
    await optionNamed(page, 'Carol').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Carol', label: 'Carol' },
    });
    await page.close();
  });

  test('the label a click stores names the entry once Zorvane has closed', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'alice-1', image: 'a.png' },
    });
    host.sendToPropertyInspector({
      listType: 'avatar',
      itemList: [
        { name: 'Alice', id: 'alice-1' },
        { name: 'Bob', id: 'bob-2' },
      ],
    });
    await waitForOptions(page, 2);
    await optionNamed(page, 'Bob').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'bob-2', label: 'Bob', image: 'a.png' },
    });

    host.sendToPropertyInspector({ appDidClose: true });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.equal(await page.textContent('#current-value'), 'Bob');
    await page.close();
  });
});

describe('the key image', () => {
  test('a typed path, a chosen file and Clear each write the image setting', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'quickslot',
      settings: { value: '3' },
    });

    await page.fill('#image-path', 'D:\\Stream\\slot 3.png');
    await page.press('#image-path', 'Enter');
    await page.locator('#image-path').blur();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: '3', image: 'D:\\Stream\\slot 3.png' },
    });

    // Outside the Stream Deck application a browser only reveals the file's name.
    const dir = fs.mkdtempSync(path.join(harness.profile, 'upload-'));
    const file = path.join(dir, 'my key.png');
    fs.copyFileSync(path.join(BUNDLE, 'images', 'keys', 'quickslot.png'), file);
    await page.setInputFiles('#image-file', file);
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: '3', image: 'my key.png' },
    });
    assert.equal(await page.inputValue('#image-path'), 'my key.png');

    await page.click('#image-clear');
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: '3' },
    });
    assert.equal(await page.inputValue('#image-path'), '');
    assert.equal(host.frames.pending, 0);
    await page.close();
  });
});

describe('languages', () => {
  const languages = ['en', 'de', 'fr', 'es', 'ja', 'zh_CN', 'ko', 'zh_TW'];

  test("the page speaks the Stream Deck application's language", async () => {
    for (const language of languages) {
      const table = JSON.parse(
        fs.readFileSync(path.join(BUNDLE, `${language}.json`), 'utf8'),
      ).Localization;
      const { page } = await harness.open({ action: ID + 'changebackground', language });
      const notice = table[NOT_RUNNING];
      await page.waitForFunction(
        (text) => document.querySelector('#not-running strong').textContent === text,
        notice,
      );
      assert.equal(
        await page.textContent('#about'),
        table[tooltipOf(ID + 'changebackground')],
        language,
      );
      assert.equal(await page.textContent('#choice-label'), table.Background, language);
      assert.equal(await page.textContent('label[for="image-path"]'), table['Key image'], language);
      assert.equal(
        await page.getAttribute('#image-path', 'placeholder'),
        table['Path of a PNG file'],
        language,
      );
      if (language === 'de') await harness.screenshot(page, 'inspector-not-running-de.png');
      await page.close();
    }
  });

  test('an unknown language keeps the English page', async () => {
    const { page } = await harness.open({ action: ID + 'emote', language: 'xx' });
    // The page marks its language once the language file has been tried.
    await page.waitForFunction(() => document.documentElement.lang === 'xx');
    assert.equal(await page.textContent('#not-running strong'), NOT_RUNNING);
    assert.equal(await page.textContent('label[for="image-path"]'), 'Key image');
    await page.close();
  });
});
