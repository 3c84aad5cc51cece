// One run, from the job the button hands over to the outputs in place or
// the failure shown.

// The worker cannot read the inputs `names` itself (WebKit, from file://):
// the page reads each whole and hands its bytes over, moved rather than
// copied, or why the browser would not read it.
async function handBytes(worker, inputs, names) {
  const bytes = {};
  const moved = [];
  for (const name of names) {
    try {
      bytes[name] = await inputs[name].arrayBuffer();
      moved.push(bytes[name]);
    } catch (e) {
      bytes[name] = { error: e.name, reason: e.message };
    }
  }
  worker.postMessage({ inputs: bytes }, moved);
}

// One run of the program on the files of `job`, saving through `outputs`.
// The job is what the program is handed: `inputs` by name, and `folder`, the
// name its paths give their folder; and `written`, files the page made
// ({name, blob}) that are saved with the program's outputs, under the same
// promise: only when the run succeeds. Resolves once the outputs are in
// place, or the failure is shown.
async function run(view, programs, job, outputs) {
  view.startRun();
  let worker;
  try {
    worker = await programs.take();
  } catch (failure) {
    await outputs.drop();
    view.showCrash(String(failure), []);
    return;
  }
  // The first failure, the one shown: an OutputFailure, {message} for the
  // program's run-time error, or {crash} for anything else.
  let failure = null;
  let over;
  const ended = new Promise((resolve) => { over = resolve; });
  const stop = (why) => {
    if (failure) return;
    failure = why;
    worker.terminate();
    over();
  };
  // The outputs' steps happen one after another, in the order the program wrote.
  let steps = Promise.resolve();
  const then = (step) => {
    steps = steps.then(() => failure || step()).catch(stop);
  };
  // The page's files first: in the folder, they are in place before the program's outputs.
  (job.written || []).forEach(({ name, blob }, at) => {
    const id = `page ${at}`;
    then(() => outputs.open(id, { name, path: `${job.folder}/${name}`, page: true }));
    then(() => { outputs.write(id, blob).catch(stop); });
  });
  let succeeded = false;
  let error = null;
  // The report's bytes, kept for its table as they go to the file.
  let reportId = null;
  const reportParts = [];
  const on = {
    // Each caption is set, in order, as the program set it.
    captions: ({ texts }) => {
      if (!failure) for (const text of texts) view.setCaption(text);
    },
    unreadable: ({ names }) => handBytes(worker, job.inputs, names),
    output: ({ id, name, path }) => {
      if (name === REPORT) reportId = id;
      then(() => outputs.open(id, { name, path }));
    },
    // A write that fails stops the run, but the next is not kept waiting for it.
    chunk: ({ id, bytes }) => {
      if (id === reportId) reportParts.push(bytes);
      then(() => { outputs.write(id, bytes).catch(stop); });
    },
    // The program wrote nothing to this output, and an earlier one must go.
    withdrawn: ({ id }) => then(() => outputs.withdraw(id)),
    error: ({ message }) => { error = message; },
    succeeded: () => { succeeded = true; },
    ended: ({ status, failure: crash, memory }) => {
      worker.terminate();
      document.documentElement.dataset.programMemoryBytes = memory;
      if (succeeded && status === 0) over();
      else stop(error ? { message: error } : { crash: crash || fill(TEXTS.endedWithStatus, { status }) });
    },
  };
  worker.onmessage = ({ data }) => on[data.type](data);
  worker.onerror = (event) => {
    event.preventDefault();
    stop({ crash: event.message || TEXTS.couldNotStart });
  };
  worker.postMessage({ folder: job.folder, inputs: job.inputs });

  await ended;
  await steps;
  if (!failure) {
    try {
      await outputs.save();
      view.endRun(outputs.doneCaption);
      view.showReport(await new Blob(reportParts).text(), outputs.againText);
      return;
    } catch (refused) {
      failure = refused;
    }
  }
  await outputs.drop();
  const replaced = outputs.replaced();
  if (failure instanceof OutputFailure) {
    view.showError(await programs.word(failure.output.path, failure.error), replaced);
  } else if (failure.message) {
    view.showError(failure.message, replaced);
  } else {
    view.showCrash(String(failure.crash), replaced);
  }
}
