/// <reference path="../../docs/tarsen-web.d.ts" />
// A page script written against the declarations: tsc must accept it and reject
// each call marked @ts-expect-error.
const tw = document.getElementById("tarsen") as unknown as TarsenWebPlugin;
const session: TarsenWebSession | TarsenWebError = JSON.parse(tw.initSession("^example.org", ""));
if ("error" in session) console.log(session.error.user_message);
tw.eventHandler = (type: TarsenWebEventType, data: string) => {
  if (type === "transfer") {
    console.log((JSON.parse(data) as TarsenWebTransferActivity).iteration_token);
  } else if (type === "dropex") {
    const described: TarsenWebFileDescriptions = JSON.parse(data);
    described.dataTransfer.files.forEach((f) => console.log(f.name, f.size, f.type));
  }
};
tw.dropObserver = { onDrop: (paths: string) => console.log(paths) };
const queued: string | null = tw.harluneHttpRequestAsync("POST", "/x", "{}", (body) => {
  console.log(body.length);
});
const picked: string = tw.runOpenFileDialog(false, "true");
const url: string = tw.readChunkAsArrayBuffer(picked, 0, 1024);
console.log(queued, url, tw.queryVersion());
// @ts-expect-error: booleans are booleans or "true"/"false", nothing else
tw.runOpenFolderDialog("yes");
// @ts-expect-error: the callback is not optional
tw.runSaveFileDialogAsync("Save", "a.txt", "");
// The bridge: the same names, every answer a Promise.
async function viaBridge(bridged: TarsenWebBridgeObject): Promise<void> {
  const answer: string = await bridged.initSession("^example.org", "");
  // @ts-expect-error: answers are Promises, not strings
  const sync: string = bridged.queryVersion();
  console.log(answer, sync, await bridged.queryHarluneVersion());
}
if (window.tarsenWeb) viaBridge(window.tarsenWeb.create({ "drop-mode": "callback" }));
